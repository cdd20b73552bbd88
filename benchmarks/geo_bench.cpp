// Coordinate conversions through the converter adapter with the real
// converter, beside the converter's own run time and the PROJ work inside it.
//   geo_bench [--benchmark_min_time=2]
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <proj.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "lib/koordinatenkonverter.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Sulvane::VUX::KoordinatenKonverter::convertkoordinaten;
using Sulvane::VUX::KoordinatenKonverter::kKonverterName;

// A service folder that holds a copy of the converter.
class THome {
 public:
  THome() {
    std::string pattern = (fs::temp_directory_path() / "oltsrv-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    fs::copy_file(OLTSRV_KONVERTER, folder_ / kKonverterName);
  }
  ~THome() {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  const fs::path& Folder() const { return folder_; }

 private:
  fs::path folder_;
};

// One conversion as the coordinate determination makes it.
void BM_Adapter(benchmark::State& state) {
  const THome home;
  for (auto _ : state) {
    double x = 0, y = 0;
    if (!convertkoordinaten(home.Folder(), "4468000", "5334000", "31468", "4326", x, y) || x == 0)
      state.SkipWithError("no pair");
    benchmark::DoNotOptimize(x);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Adapter)->Unit(benchmark::kMillisecond)->UseRealTime();

// The converter alone: start, convert, end; output to /dev/null.
void BM_KonverterProcess(benchmark::State& state) {
  std::string program = OLTSRV_KONVERTER;
  std::string a1 = "31468", a2 = "4468000", a3 = "5334000", a4 = "4326";
  char* argv[] = {program.data(), a1.data(), a2.data(), a3.data(), a4.data(), nullptr};
  for (auto _ : state) {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int e = posix_spawn(&pid, program.c_str(), &files, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&files);
    int status = 0;
    if (e != 0 || waitpid(pid, &status, 0) != pid || status != 0)
      state.SkipWithError("converter failed");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KonverterProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

struct TContextDeleter {
  void operator()(PJ_CONTEXT* c) const { proj_context_destroy(c); }
};
struct TPjDeleter {
  void operator()(PJ* p) const { proj_destroy(p); }
};

// What the converter does inside: context, operation, one point.
void BM_ProjInProcess(benchmark::State& state) {
  for (auto _ : state) {
    const std::unique_ptr<PJ_CONTEXT, TContextDeleter> ctx(proj_context_create());
    const std::unique_ptr<PJ, TPjDeleter> raw(
        proj_create_crs_to_crs(ctx.get(), "EPSG:31468", "EPSG:4326", nullptr));
    const std::unique_ptr<PJ, TPjDeleter> op(
        proj_normalize_for_visualization(ctx.get(), raw.get()));
    const PJ_COORD out = proj_trans(op.get(), PJ_FWD, proj_coord(4468000, 5334000, 0, 0));
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ProjInProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
