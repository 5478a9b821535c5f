// Throughput of our MD5 core against OpenSSL's on the same bytes in memory. Not a test: it
// prints figures and the ratio (ours / OpenSSL's), best of several rounds each.
#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "verify/QORMD5Unit.h"

namespace {

using Clock = std::chrono::steady_clock;

template <typename Fn>
double BestMBps(std::size_t bytes, int rounds, Fn fn) {
  double best = 0;
  for (int r = 0; r < rounds; ++r) {
    auto t0 = Clock::now();
    fn();
    double s = std::chrono::duration<double>(Clock::now() - t0).count();
    double mbps = bytes / s / 1e6;
    if (mbps > best) best = mbps;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t size = (argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64) << 20;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
  std::vector<unsigned char> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<unsigned char>((i * 131 + (i >> 8)) & 0xFF);

  TMD5Digest ours{};
  unsigned char theirs[EVP_MAX_MD_SIZE];
  unsigned int theirsLength = 0;
  const double oursMBps = BestMBps(size, rounds, [&] { ours = MD5OfBytes(data.data(), size); });
  const double theirsMBps = BestMBps(size, rounds, [&] {
    EVP_Digest(data.data(), size, theirs, &theirsLength, EVP_md5(), nullptr);
  });
  if (theirsLength != 16 || std::memcmp(ours.data(), theirs, 16) != 0) {
    std::fprintf(stderr, "md5_bench: the digests differ\n");
    return 1;
  }
  std::printf("MD5 of %zu MiB in memory, best of %d rounds\n", size >> 20, rounds);
  std::printf("  ours     %8.1f MB/s\n  OpenSSL  %8.1f MB/s\n  ratio    %8.3f\n", oursMBps, theirsMBps,
              oursMBps / theirsMBps);
  return 0;
}
