// Files taken up by several workers at once, each file by one worker, with
// what they print in the order of the files: the output, the summary and
// the exit status are those of one worker taking the files one by one.
// A worker that must ask a question (a password, what to do about a failed
// entry) first waits for its file's turn: every earlier file is done and
// printed, and what its own file printed so far is written; its file then
// prints at once until it is done. So questions come one at a time, each
// after the lines it belongs to.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "cli/file_report.h"
#include "cli/job_output.h"

namespace kmlcompat {

// What a worker is given: the streams of the file it works on, and the call
// that waits for the file's turn before a question is asked.
struct WorkerIo {
  std::ostream& out;
  std::ostream& err;
  std::function<void()> take_turn;
};

// One worker's means of taking up a file (its own dialogs, log and state).
class FileWorker {
 public:
  virtual ~FileWorker() = default;
  // Takes up the file and prints its lines; never called for two files at once.
  virtual FileStatus Process(const std::string& path, const std::string& problem) = 0;
};

// Makes a worker that prints to, and asks through, `io` (which outlives it).
using WorkerFactory = std::function<std::unique_ptr<FileWorker>(WorkerIo& io)>;

class ParallelRun {
 public:
  // Starts `jobs` workers made by `make_worker`; the files print to `out`
  // and `err`, which must outlive this object, as must `make_worker`'s
  // captures. A file queued after a stop signal was caught is skipped.
  ParallelRun(int jobs, const WorkerFactory& make_worker, std::ostream& out, std::ostream& err);
  // Waits for the workers (after Finish, they are done already).
  ~ParallelRun();
  ParallelRun(const ParallelRun&) = delete;
  ParallelRun& operator=(const ParallelRun&) = delete;

  // Queues a file for the next free worker; waits while many files wait.
  void Add(const std::string& path, const std::string& problem);
  // Waits until every file is done and printed; gives their statuses.
  // Rethrows the first exception a worker raised (the files after it are
  // skipped).
  Tally Finish();

 private:
  struct Job;
  class Worker;
  void Work(Worker& worker);
  // The next file to take up; null once the queue is closed and empty.
  Job* Next();
  void Run(Worker& worker, Job& job);
  // Waits until `job` is the first not yet printed, then prints it so far
  // and lets it print at once.
  void TakeTurn(Job& job);
  // Marks `job` done and prints every done file at the head of the queue.
  void Done(Job& job);
  void Close();

  std::ostream& out_;
  std::ostream& err_;
  const size_t limit_;  // files queued at most, printed or not
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Job>> jobs_;  // from the first not yet printed
  size_t next_ = 0;                        // in jobs_, the first not yet taken up
  bool closed_ = false;
  std::exception_ptr failure_;
  Tally tally_;
  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<std::thread> threads_;
};

}  // namespace kmlcompat
