// makeJobParameter against the bare libcups calls it makes, per PPD:
// ppdOpenFile, ppdMarkDefaults, cupsMarkOptions, 240 ppdFindMarkedChoice
// and ppdClose. The PPDs come from the environment (BENCH_PPD_<name>), so
// the harness picks them; the options are the example job's.
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>
#include <string>

// The bare calls are the deprecated PPD interface on purpose.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/ppd.h>

#include "job_parameter.h"
#include "marked_keys.h"

extern char **environ;

namespace {

// 'jobOptions()' - The example job's option text (BENCH_OPTIONS overrides it).
const char *jobOptions()
{
  const char *text = getenv("BENCH_OPTIONS");
  return text != nullptr ? text : "";
}

// 'bareCalls()' - The libcups calls of one job parameter string, nothing else.
void bareCalls(benchmark::State &state, const std::string &ppd)
{
  cups_option_t *options = nullptr;
  int count = cupsParseOptions(jobOptions(), 0, &options);
  for (auto _ : state) {
    ppd_file_t *file = ppdOpenFile(ppd.c_str());
    if (file == nullptr) {
      state.SkipWithError("ppdOpenFile failed");
      break;
    }
    ppdMarkDefaults(file);
    cupsMarkOptions(file, count, options);
    for (int pass = 0; pass < 2; pass++)
      for (const char *key : kMarkedKeys)
        benchmark::DoNotOptimize(ppdFindMarkedChoice(file, key));
    ppdClose(file);
  }
  cupsFreeOptions(count, options);
}

// 'jobParameter()' - makeJobParameter on the same PPD and options.
void jobParameter(benchmark::State &state, const std::string &ppd)
{
  setenv("PPD", ppd.c_str(), 1);
  cups_option_t *options = nullptr;
  int count = cupsParseOptions(jobOptions(), 0, &options);
  for (auto _ : state) {
    char *text = makeJobParameter(options, count, "benchuser", "bench title", "1");
    if (text == nullptr) {
      state.SkipWithError("makeJobParameter failed");
      break;
    }
    benchmark::DoNotOptimize(text);
    free(text);
  }
  cupsFreeOptions(count, options);
}

// 'registerAll()' - One pair of benchmarks per PPD named in the environment.
void registerAll()
{
  static constexpr char prefix[] = "BENCH_PPD_";
  for (char **e = environ; *e != nullptr; e++) {
    if (strncmp(*e, prefix, sizeof prefix - 1) != 0)
      continue;
    std::string entry = *e + sizeof prefix - 1;
    size_t eq = entry.find('=');
    std::string name = entry.substr(0, eq), path = entry.substr(eq + 1);
    benchmark::RegisterBenchmark(("bare/" + name).c_str(), bareCalls, path)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("makeJobParameter/" + name).c_str(), jobParameter, path)
        ->Unit(benchmark::kMicrosecond);
  }
}

} // namespace

// 'main()' - Register the benchmarks for the given PPDs and run them.
int main(int argc, char **argv)
{
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
