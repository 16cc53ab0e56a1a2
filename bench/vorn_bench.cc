// Microbenchmarks of vorn's passes over the table: the record walk, Load,
// Populate (which reads the table file), the single rewrite pass and the
// list rewrite pass with MaxSubstitutes entries, each on the standard
// table, the full table and a 64 MiB table.
//
// Populate reads "MS932~EUC-JP.bin" from the current folder; the program
// makes a temporary folder per table, writes the table there and moves
// into it.  Its installed-table place names no file.  The standard table
// is the one the build makes, named by VORN_STANDARD_TABLE.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "SparsePopulationEUC/SparsePopulationEUC.h"
#include "bench/bench_inputs.h"
#include "platform/env.h"
#include "substitute/substitute_list.h"
#include "substitute/substitute_single.h"
#include "tests/fake_env.h"
#include "tests/test_table.h"

namespace vorn::bench {
namespace {

struct BenchTable {
  std::string name;
  std::string bytes;
  std::string folder;  // holds the table as "MS932~EUC-JP.bin"
};

std::vector<BenchTable>& Tables() {
  static std::vector<BenchTable> tables;
  return tables;
}

const TablePaths kCurrentFolderOnly = {"no-installed-table/MS932~EUC-JP.bin", kTableName};

void SetBytes(benchmark::State& state, const BenchTable& table) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(table.bytes.size()));
}

void BM_WalkRecords(benchmark::State& state, const BenchTable* table) {
  ByteBuffer buffer = BufferOf(table->bytes);
  for (auto _ : state) {
    std::uint32_t sum = 0;
    WalkRecords(buffer.data(), buffer.size(),
                [&](std::uint32_t key, const std::uint8_t* record) { sum += key ^ record[3]; });
    benchmark::DoNotOptimize(sum);
  }
  SetBytes(state, *table);
}

void BM_Load(benchmark::State& state, const BenchTable* table) {
  ByteBuffer buffer = BufferOf(table->bytes);
  auto store = std::make_unique<SparseEUC>();
  for (auto _ : state) {
    store->Load(buffer);
    benchmark::DoNotOptimize(store->GetByte(0x8740, 0));
  }
  SetBytes(state, *table);
}

// A fresh store each time, as a run makes one: its first touch is part of
// the cost.
void BM_Populate(benchmark::State& state, const BenchTable* table) {
  if (chdir(table->folder.c_str()) != 0) {
    state.SkipWithError("cannot enter the table's folder");
    return;
  }
  Env& env = *Env::Default();
  for (auto _ : state) {
    auto store = std::make_unique<SparseEUC>();
    TableFile file;
    IoError error;
    if (store->Populate(env, kCurrentFolderOnly, false, &file, &error) != Outcome::kDone) {
      state.SkipWithError("the table was not read");
      return;
    }
    benchmark::DoNotOptimize(store->GetByte(0x8740, 0));
  }
  SetBytes(state, *table);
}

void BM_SingleRewritePass(benchmark::State& state, const BenchTable* table) {
  ByteBuffer buffer = BufferOf(table->bytes);
  auto store = std::make_unique<SparseEUC>();
  store->Load(buffer);
  for (auto _ : state) {
    SingleRewritePass(buffer, 0x8740, 0x8151, *store);
    benchmark::ClobberMemory();
  }
  SetBytes(state, *table);
}

// The pass consumes the entries it applies; setting them pending again is
// timed with it (906 byte stores, far below the pass itself).
void BM_ListRewritePass(benchmark::State& state, const BenchTable* table) {
  ByteBuffer buffer = BufferOf(table->bytes);
  auto store = std::make_unique<SparseEUC>();
  store->Load(buffer);
  const std::string list = SubstitutionList();
  FakeEnv env;
  BytesFile list_file(list);
  Substitutes substitutes;
  IoError error;
  if (!ReadSubstitutes(env, &list_file, &substitutes, &error)) std::abort();
  for (auto _ : state) {
    for (NormalSubstitute& entry : substitutes) entry.Pending = 1;
    ListRewritePass(buffer, substitutes, *store);
    benchmark::ClobberMemory();
  }
  SetBytes(state, *table);
}

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Text(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

bool WriteTableFolder(BenchTable* table) {
  char folder[] = "/tmp/vorn-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) return false;
  table->folder = folder;
  std::ofstream out(table->folder + "/" + kTableName, std::ios::binary);
  out.write(table->bytes.data(), static_cast<std::streamsize>(table->bytes.size()));
  return static_cast<bool>(out.flush());
}

void RemoveTableFolders() {
  for (const BenchTable& table : Tables()) {
    if (table.folder.empty()) continue;
    std::remove((table.folder + "/" + kTableName).c_str());
    rmdir(table.folder.c_str());
  }
}

}  // namespace
}  // namespace vorn::bench

int main(int argc, char** argv) {
  using namespace vorn::bench;
  std::vector<BenchTable>& tables = Tables();
  tables.push_back({"standard", ReadFile(VORN_STANDARD_TABLE), ""});
  tables.push_back({"full", Text(FullTable()), ""});
  tables.push_back({"64MiB", Text(LargeTable(kLargeTableSize)), ""});
  if (tables[0].bytes.empty()) {
    std::fprintf(stderr, "vorn_bench: cannot read the standard table %s\n", VORN_STANDARD_TABLE);
    return 1;
  }
  for (BenchTable& table : tables) {
    if (!WriteTableFolder(&table)) {
      std::fprintf(stderr, "vorn_bench: cannot write the %s table\n", table.name.c_str());
      RemoveTableFolders();
      return 1;
    }
  }

  struct Pass {
    const char* name;
    void (*run)(benchmark::State&, const BenchTable*);
  };
  const Pass passes[] = {{"WalkRecords", BM_WalkRecords},
                         {"Load", BM_Load},
                         {"Populate", BM_Populate},
                         {"SingleRewritePass", BM_SingleRewritePass},
                         {"ListRewritePass", BM_ListRewritePass}};
  for (const Pass& pass : passes) {
    for (const BenchTable& table : tables) {
      benchmark::RegisterBenchmark((std::string(pass.name) + "/" + table.name).c_str(), pass.run,
                                   &table)
          ->Unit(benchmark::kMicrosecond);
    }
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    RemoveTableFolders();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  RemoveTableFolders();
  return 0;
}
