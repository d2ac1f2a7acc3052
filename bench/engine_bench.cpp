// Benchmarks of the engine's hot paths, on data generated once into
// /tmp/nimbra-bench-data (kept between runs). Run: build/default/bench/engine_bench

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <cstring>
#include <map>
#include <random>

#include "engine/discovery.h"
#include "engine/install_engine.h"
#include "engine/install_receipt.h"
#include "engine/legacy_copies.h"
#include "engine/platform/file_manager.h"
#include "engine/verification.h"
#include "tools/release_packer/release_packer.h"
#include "tools/release_packer/signing_key.h"
#include "tools/simulated_rhino/rhino_bundle.h"

namespace fs = std::filesystem;
using namespace nimbra;

namespace {

const fs::path kData = "/tmp/nimbra-bench-data";

void writeRandom(const fs::path& file, std::size_t size, std::uint64_t seed, const std::string& insert = "") {
  fs::create_directories(file.parent_path());
  std::mt19937_64 random(seed);
  std::string bytes(std::min<std::size_t>(size, 1 << 20), '\0');
  std::ofstream out(file, std::ios::binary);
  for (std::size_t written = 0; written < size;) {
    for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
      const std::uint64_t value = random();
      std::memcpy(&bytes[i], &value, 8);
    }
    const std::size_t chunk = std::min(bytes.size(), size - written);
    if (written == 0 && !insert.empty()) std::memcpy(&bytes[chunk / 2], insert.data(), insert.size());
    out.write(bytes.data(), static_cast<std::streamsize>(chunk));
    written += chunk;
  }
}

// A payload folder with one package, generated once; returns its engine.
const InstallEngine& payload(const std::string& name, int files, std::size_t size) {
  static std::map<std::string, std::unique_ptr<InstallEngine>> engines;
  auto& engine = engines[name];
  if (!engine) {
    const fs::path folder = kData / name;
    if (!fs::exists(folder / "release.json.sig")) {
      for (int i = 0; i < files; ++i) {
        writeRandom(folder / "Package" / ("d" + std::to_string(i % 16)) / ("f" + std::to_string(i)), size, i);
      }
      const packer::SigningKey key = packer::SigningKey::read(NIMBRA_SIGNING_KEY_FILE);
      packer::packRelease(folder, "1.0.0", {{7, "Package"}, {8, "Package"}}, &key);
    }
    engine = std::make_unique<InstallEngine>(folder, kData / (name + "-home"));
  }
  return *engine;
}

void verifyPayload(benchmark::State& state, const InstallEngine& engine) {
  const PayloadPackage& package = engine.release().packages[0];
  std::int64_t bytes = 0;
  for (const PayloadFile& file : package.files) bytes += file.size;
  verify(engine.fileManager(), package, engine.resources() / package.directory);  // from the page cache, as in an install
  for (auto _ : state) verify(engine.fileManager(), package, engine.resources() / package.directory);
  state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_VerifyOneLargeFile(benchmark::State& state) { verifyPayload(state, payload("one-gib", 1, 1ull << 30)); }
BENCHMARK(BM_VerifyOneLargeFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VerifyManySmallFiles(benchmark::State& state) { verifyPayload(state, payload("small-files", 10000, 16384)); }
BENCHMARK(BM_VerifyManySmallFiles)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScanLegacy(benchmark::State& state) {
  const InstallEngine& engine = payload("typical", 50, 100'000);
  const fs::path libraries = kData / "libraries";
  if (!fs::exists(libraries / "done")) {
    std::string marker;
    for (char c : InstallEngine::pluginID()) marker += {c, '\0'};
    for (int i = 0; i < 500; ++i) {
      writeRandom(libraries / ("Library" + std::to_string(i) + ".gha"), 2'000'000, 1000 + i, i % 2 ? marker : "");
    }
    std::ofstream(libraries / "done") << "";
  }
  std::size_t found = LegacyCopies(engine).scanLegacy({libraries}).size();
  for (auto _ : state) found = LegacyCopies(engine).scanLegacy({libraries}).size();
  state.counters["found"] = static_cast<double>(found);
  state.SetBytesProcessed(state.iterations() * 500 * 2'000'000);
}
BENCHMARK(BM_ScanLegacy)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DiscoveryWalk(benchmark::State& state) {
  const fs::path applications = kData / "Applications";
  if (!fs::exists(applications / "done")) {
    for (int i = 0; i < 1000; ++i) {
      const fs::path app = applications / ("Suite" + std::to_string(i % 20)) / ("Tool" + std::to_string(i) + ".app");
      fs::create_directories(app / "Contents/MacOS");
      std::ofstream(app / "Contents/Info.plist")
          << "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>com.example.tool"
          << i << "</string><key>CFBundlePackageType</key><string>APPL</string></dict></plist>";
    }
    std::ofstream(applications / "done") << "";
  }
  HostLocations host;
  host.systemApplications = applications;
  host.spotlightTool = "/nonexistent/mdfind";
  host.runningApplications = [] { return std::vector<RunningApplication>{}; };
  const InstallEngine engine(payload("typical", 50, 100'000).resources(), kData / "home", FileManager::standard(), host);
  for (auto _ : state) benchmark::DoNotOptimize(Discovery(engine).discover());
}
BENCHMARK(BM_DiscoveryWalk)->Unit(benchmark::kMillisecond)->UseRealTime();

// Three Rhino candidates whose yak takes a second each: examined at once.
void BM_DiscoveryThreeSlowYaks(benchmark::State& state) {
  const fs::path home = kData / "slow-yak-home";
  if (!fs::exists(home / "Applications/done")) {
    fs::remove_all(home);
    for (const auto& [major, name] : std::vector<std::pair<int, std::string>>{{7, "Rhino 7"}, {8, "Rhino 8"}, {8, "Rhino 8 WIP"}}) {
      simulated::makeRhinoBundle(home / "Applications" / (name + ".app"),
                                 {.major = major, .yakOutput = "/x/packages/" + std::to_string(major) + ".0\n",
                                  .yakDelaySeconds = 1});
    }
    std::ofstream(home / "Applications/done") << "";
  }
  HostLocations host;
  host.systemApplications = kData / "no-applications";
  host.spotlightTool = "/nonexistent/mdfind";
  host.runningApplications = [] { return std::vector<RunningApplication>{}; };
  const InstallEngine engine(payload("typical", 50, 100'000).resources(), home, FileManager::standard(), host);
  std::size_t found = 0;
  for (auto _ : state) found = Discovery(engine).discover().size();
  state.counters["found"] = static_cast<double>(found);
}
BENCHMARK(BM_DiscoveryThreeSlowYaks)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ReceiptWrite(benchmark::State& state) {
  const fs::path folder = kData / "receipt";
  fs::create_directories(folder);
  InstallReceipt receipt{"1.0.0", "installing", {"/h/packages/7.0/nimbra", "/h/packages/8.0/nimbra"}, {}, {}};
  for (int i = 0; i < 4; ++i) receipt.backups.push_back({"/h/Libraries/Nimbra" + std::to_string(i) + ".gha", "/b/x"});
  for (auto _ : state) writeReceipt(FileManager::standard(), folder, receipt);
}
BENCHMARK(BM_ReceiptWrite)->Unit(benchmark::kMicrosecond)->UseRealTime();

// A typical plug-in, 50 files and 5 MB, into Rhino 7 and 8 of a fresh home.
void BM_TypicalInstall(benchmark::State& state) {
  const InstallEngine& source = payload("typical", 50, 100'000);
  int run = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path home = kData / ("typical-home-" + std::to_string(run++));
    fs::remove_all(home);
    const InstallEngine engine(source.resources(), home);
    const std::vector<RhinoTarget> targets = {{7, "/Applications/Rhino 7.app", engine.standardRoot(7)},
                                              {8, "/Applications/Rhino 8.app", engine.standardRoot(8)}};
    state.ResumeTiming();
    engine.install(targets, std::vector<fs::path>{}, [](const ProgressStep&) {});
    state.PauseTiming();
    fs::remove_all(home);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_TypicalInstall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
