// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of CBlowfish's buffer operations and CMD5 on 16 MiB, each measured next to
// OpenSSL on the same buffer in the same run; after the runs it prints each pair's
// speed ratio (OpenSSL's time / ours: above 1 means ours is faster), from the medians
// when --benchmark_repetitions is given.
#include <benchmark/benchmark.h>
#include <openssl/blowfish.h>
#include <openssl/md5.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "crypto/CBlowfish.h"
#include "crypto/CMD5.h"

namespace {

constexpr std::size_t kBufferBytes = 16 << 20;
const char kKey[] = "\x94\xE9\x96\xA7\x82\xCC\x83\x81\x83\x82";  // a code page 932 password

// One buffer of random words shared by every benchmark, so each pair sees the same data.
std::vector<std::uint32_t>& Buffer() {
  static std::vector<std::uint32_t> words = [] {
    std::vector<std::uint32_t> w(kBufferBytes / 4);
    std::mt19937 rng(42);
    for (auto& x : w) x = static_cast<std::uint32_t>(rng());
    return w;
  }();
  return words;
}

unsigned char* Bytes() { return reinterpret_cast<unsigned char*>(Buffer().data()); }

const BF_KEY& OpenSslKey() {
  static const BF_KEY key = [] {
    BF_KEY k;
    BF_set_key(&k, static_cast<int>(std::strlen(kKey)), reinterpret_cast<const unsigned char*>(kKey));
    return k;
  }();
  return key;
}

const tallimor::CBlowfish& OurKey() {
  static tallimor::CBlowfish cipher;
  static const bool keyed = (cipher.SetKey(kKey), true);
  (void)keyed;
  return cipher;
}

template <typename Body>
void RunOverBuffer(benchmark::State& state, Body body) {
  for (auto _ : state) {
    body();
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kBufferBytes));
}

void BlowfishEncryptBuffer(benchmark::State& state) {
  RunOverBuffer(state, [] { OurKey().EncryptBuffer(Buffer().data(), kBufferBytes); });
}
void OpenSslBlowfishEncrypt(benchmark::State& state) {
  RunOverBuffer(state, [] {
    auto& words = Buffer();
    for (std::size_t k = 0; k < words.size(); k += 2) BF_encrypt(&words[k], &OpenSslKey());
  });
}
void BlowfishDecryptBuffer(benchmark::State& state) {
  RunOverBuffer(state, [] { OurKey().DecryptBuffer(Buffer().data(), kBufferBytes); });
}
void OpenSslBlowfishDecrypt(benchmark::State& state) {
  RunOverBuffer(state, [] {
    auto& words = Buffer();
    for (std::size_t k = 0; k < words.size(); k += 2) BF_decrypt(&words[k], &OpenSslKey());
  });
}
void BlowfishEncryptBytes(benchmark::State& state) {
  RunOverBuffer(state, [] { OurKey().EncryptBytes(Bytes(), kBufferBytes); });
}
void OpenSslBlowfishEcbEncrypt(benchmark::State& state) {
  RunOverBuffer(state, [] {
    unsigned char* data = Bytes();
    for (std::size_t at = 0; at < kBufferBytes; at += 8) {
      BF_ecb_encrypt(data + at, data + at, &OpenSslKey(), BF_ENCRYPT);
    }
  });
}
void BlowfishDecryptBytes(benchmark::State& state) {
  RunOverBuffer(state, [] { OurKey().DecryptBytes(Bytes(), kBufferBytes); });
}
void OpenSslBlowfishEcbDecrypt(benchmark::State& state) {
  RunOverBuffer(state, [] {
    unsigned char* data = Bytes();
    for (std::size_t at = 0; at < kBufferBytes; at += 8) {
      BF_ecb_encrypt(data + at, data + at, &OpenSslKey(), BF_DECRYPT);
    }
  });
}
void MD5Digest(benchmark::State& state) {
  RunOverBuffer(state, [] {
    tallimor::CMD5 md5;
    md5.Update(Bytes(), kBufferBytes);
    md5.Finalize();
    benchmark::DoNotOptimize(md5.RawDigest());
  });
}
void OpenSslMD5Digest(benchmark::State& state) {
  RunOverBuffer(state, [] {
    unsigned char digest[16];
    MD5(Bytes(), kBufferBytes, digest);
    benchmark::DoNotOptimize(digest);
  });
}

#define TALLIMOR_BENCH_PAIR(ours, theirs)                                \
  BENCHMARK(ours)->Unit(benchmark::kMillisecond);         \
  BENCHMARK(theirs)->Unit(benchmark::kMillisecond)

TALLIMOR_BENCH_PAIR(BlowfishEncryptBuffer, OpenSslBlowfishEncrypt);
TALLIMOR_BENCH_PAIR(BlowfishDecryptBuffer, OpenSslBlowfishDecrypt);
TALLIMOR_BENCH_PAIR(BlowfishEncryptBytes, OpenSslBlowfishEcbEncrypt);
TALLIMOR_BENCH_PAIR(BlowfishDecryptBytes, OpenSslBlowfishEcbDecrypt);
TALLIMOR_BENCH_PAIR(MD5Digest, OpenSslMD5Digest);

// Which benchmark is measured against which, in the order the ratios are printed.
const std::pair<const char*, const char*> kPairs[] = {
    {"BlowfishEncryptBuffer", "OpenSslBlowfishEncrypt"},
    {"BlowfishDecryptBuffer", "OpenSslBlowfishDecrypt"},
    {"BlowfishEncryptBytes", "OpenSslBlowfishEcbEncrypt"},
    {"BlowfishDecryptBytes", "OpenSslBlowfishEcbDecrypt"},
    {"MD5Digest", "OpenSslMD5Digest"},
};

// The console reporter, also keeping each benchmark's time per iteration: the median
// when repetitions run, else the single measurement.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const std::string& name = run.run_name.function_name;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (median) {
        times_[name] = run.GetAdjustedCPUTime();
        medians_[name] = true;
      } else if (run.run_type == Run::RT_Iteration && !medians_[name]) {
        times_[name] = run.GetAdjustedCPUTime();
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nSpeed ratio, OpenSSL time / ours (above 1: ours faster), 16 MiB buffer:\n");
    for (const auto& [ours, theirs] : kPairs) {
      if (times_.count(ours) == 0 || times_.count(theirs) == 0) continue;
      std::printf("  %-24s vs %-26s %5.2f  (%.2f ms vs %.2f ms%s)\n", ours, theirs,
                  times_[theirs] / times_[ours], times_[ours], times_[theirs],
                  medians_[ours] ? ", medians" : "");
    }
  }

 private:
  std::map<std::string, double> times_;
  std::map<std::string, bool> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
