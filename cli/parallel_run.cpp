#include "cli/parallel_run.h"

#include "platform/interrupts.h"

namespace kmlcompat {

struct ParallelRun::Job {
  Job(std::string path_in, std::string problem_in, std::ostream& out, std::ostream& err)
      : path(std::move(path_in)), problem(std::move(problem_in)), output(out, err) {}
  std::string path;
  std::string problem;
  JobOutput output;
  bool done = false;
  bool skipped = false;  // not taken up: nothing printed, nothing counted
  FileStatus status = FileStatus::kFailed;
};

// A worker's streams, which pass what is written on to the job it works on.
class ParallelRun::Worker {
 public:
  Worker(ParallelRun& run, const WorkerFactory& make_worker)
      : io_{out_, err_, [this, &run] { run.TakeTurn(*job_); }}, file_worker_(make_worker(io_)) {}

  FileStatus Process(Job& job) {
    job_ = &job;
    out_buf_.SetJob(&job.output);
    err_buf_.SetJob(&job.output);
    const FileStatus status = file_worker_->Process(job.path, job.problem);
    out_.flush();
    err_.flush();
    out_buf_.SetJob(nullptr);
    err_buf_.SetJob(nullptr);
    return status;
  }

 private:
  JobStreamBuf out_buf_{JobOutput::kOut};
  JobStreamBuf err_buf_{JobOutput::kErr};
  std::ostream out_{&out_buf_};
  std::ostream err_{&err_buf_};
  Job* job_ = nullptr;
  WorkerIo io_;
  std::unique_ptr<FileWorker> file_worker_;
};

ParallelRun::ParallelRun(int jobs, const WorkerFactory& make_worker, std::ostream& out,
                         std::ostream& err)
    : out_(out), err_(err), limit_(static_cast<size_t>(jobs) * 8) {
  for (int i = 0; i < jobs; ++i) workers_.push_back(std::make_unique<Worker>(*this, make_worker));
  for (const std::unique_ptr<Worker>& worker : workers_)
    threads_.emplace_back([this, &worker] { Work(*worker); });
}

ParallelRun::~ParallelRun() {
  Close();
  for (std::thread& thread : threads_)
    if (thread.joinable()) thread.join();
}

void ParallelRun::Add(const std::string& path, const std::string& problem) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return jobs_.size() < limit_; });
  jobs_.push_back(std::make_unique<Job>(path, problem, out_, err_));
  changed_.notify_all();
}

Tally ParallelRun::Finish() {
  Close();
  for (std::thread& thread : threads_) thread.join();
  if (failure_) std::rethrow_exception(failure_);
  return tally_;
}

void ParallelRun::Close() {
  const std::lock_guard<std::mutex> lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

void ParallelRun::Work(Worker& worker) {
  while (Job* job = Next()) Run(worker, *job);
}

ParallelRun::Job* ParallelRun::Next() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return next_ < jobs_.size() || closed_; });
  return next_ < jobs_.size() ? jobs_[next_++].get() : nullptr;
}

// After a stop signal or a worker's exception no file more is taken up.
void ParallelRun::Run(Worker& worker, Job& job) {
  bool failed = false;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    failed = failure_ != nullptr;
  }
  job.skipped = failed || platform::CaughtInterrupt() != 0;
  try {
    if (!job.skipped) job.status = worker.Process(job);
  } catch (...) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
    job.skipped = true;
  }
  Done(job);
}

void ParallelRun::TakeTurn(Job& job) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this, &job] { return jobs_.front().get() == &job; });
  job.output.GoDirect();
}

void ParallelRun::Done(Job& job) {
  const std::lock_guard<std::mutex> lock(mutex_);
  job.done = true;
  while (!jobs_.empty() && jobs_.front()->done) {
    jobs_.front()->output.GoDirect();
    if (!jobs_.front()->skipped) tally_.Add(jobs_.front()->status);
    jobs_.pop_front();
    --next_;
  }
  changed_.notify_all();
}

}  // namespace kmlcompat
