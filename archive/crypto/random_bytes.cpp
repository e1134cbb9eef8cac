#include "archive/crypto/random_bytes.h"

#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <climits>

#include "archive/common/data_stage.h"

namespace parcelon {

void FillRandom(std::span<uint8_t> out) {
  for (size_t done = 0; done < out.size();) {
    const size_t n = std::min<size_t>(out.size() - done, INT_MAX);
    if (RAND_bytes(out.data() + done, static_cast<int>(n)) != 1)
      throw CodecError("no random bytes available");
    done += n;
  }
}

void FillRandomBelow255(std::span<uint8_t> out) {
  // Redrawing a 255 keeps the other 255 values equally likely.
  std::array<uint8_t, 64> pool{};
  size_t used = pool.size();
  for (uint8_t& byte : out) {
    do {
      if (used == pool.size()) {
        FillRandom(pool);
        used = 0;
      }
      byte = pool[used++];
    } while (byte == 0xFF);
  }
  pool.fill(0);
}

}  // namespace parcelon
