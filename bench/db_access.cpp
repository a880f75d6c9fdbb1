// The SQLite layer against the same work through the SQLite C interface: 100,000 inserts in one
// transaction, and 100,000 single-row reads by key. The ratios are printed after the runs.

#include "BenchReport.h"
#include "db/SQLDatabase.h"
#include "db/SQLResultSet.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

constexpr int kRows = 100000;

std::string scratchPath(const char* name) {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp ? tmp : "/tmp") + "/kt_bench_db_" + std::to_string(getpid()) + "_" + name;
}

void execRaw(sqlite3* db, const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

void InsertsRaw(benchmark::State& state) {
  std::string path = scratchPath("raw");
  for (auto _ : state) {
    state.PauseTiming();
    unlink(path.c_str());
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    execRaw(db, "create table t (id integer primary key, name text, score real)");
    state.ResumeTiming();
    execRaw(db, "begin exclusive transaction");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "insert into t (name, score) values (?, ?)", -1, &st, nullptr);
    for (int i = 0; i < kRows; ++i) {
      std::string name = "song " + std::to_string(i);
      sqlite3_bind_text(st, 1, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      sqlite3_bind_double(st, 2, i * 0.5);
      sqlite3_step(st);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    execRaw(db, "commit transaction");
    state.PauseTiming();
    sqlite3_close(db);
    state.ResumeTiming();
  }
  unlink(path.c_str());
}
BENCHMARK(InsertsRaw)->Unit(benchmark::kMillisecond);

void InsertsLayer(benchmark::State& state) {
  std::string path = scratchPath("layer");
  for (auto _ : state) {
    state.PauseTiming();
    unlink(path.c_str());
    auto db = kt::SQLDatabase::databaseWithPath(path);
    db->open();
    db->setShouldCacheStatements(true);
    db->executeUpdate("create table t (id integer primary key, name text, score real)");
    state.ResumeTiming();
    db->beginTransaction();
    for (int i = 0; i < kRows; ++i)
      db->executeUpdate("insert into t (name, score) values (?, ?)", "song " + std::to_string(i), i * 0.5);
    db->commit();
    state.PauseTiming();
    db->close();
    state.ResumeTiming();
  }
  unlink(path.c_str());
}
BENCHMARK(InsertsLayer)->Unit(benchmark::kMillisecond);

// A database of kRows rows for the reads, made once.
const std::string& readPath() {
  static const std::string path = [] {
    std::string p = scratchPath("read");
    unlink(p.c_str());
    sqlite3* db = nullptr;
    sqlite3_open(p.c_str(), &db);
    execRaw(db, "create table t (id integer primary key, name text, score real)");
    execRaw(db, "begin");
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "insert into t (name, score) values (?, ?)", -1, &st, nullptr);
    for (int i = 0; i < kRows; ++i) {
      std::string name = "song " + std::to_string(i);
      sqlite3_bind_text(st, 1, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_double(st, 2, i * 0.5);
      sqlite3_step(st);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    execRaw(db, "commit");
    sqlite3_close(db);
    return p;
  }();
  return path;
}

void ReadsRaw(benchmark::State& state) {
  sqlite3* db = nullptr;
  sqlite3_open(readPath().c_str(), &db);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "select name, score from t where id = ?", -1, &st, nullptr);
  for (auto _ : state) {
    double sum = 0;
    for (int i = 1; i <= kRows; ++i) {
      sqlite3_bind_int64(st, 1, i);
      if (sqlite3_step(st) == SQLITE_ROW) {
        std::string name(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sum += sqlite3_column_double(st, 1) + static_cast<double>(name.size());
      }
      sqlite3_reset(st);
    }
    benchmark::DoNotOptimize(sum);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
}
BENCHMARK(ReadsRaw)->Unit(benchmark::kMillisecond);

void ReadsLayer(benchmark::State& state) {
  auto db = kt::SQLDatabase::databaseWithPath(readPath());
  db->open();
  db->setShouldCacheStatements(true);
  for (auto _ : state) {
    double sum = 0;
    for (int i = 1; i <= kRows; ++i) {
      auto rs = db->executeQuery("select name, score from t where id = ?", i);
      if (rs && rs->next()) sum += rs->doubleForColumnIndex(1) + static_cast<double>(rs->stringForColumnIndex(0)->size());
    }
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(ReadsLayer)->Unit(benchmark::kMillisecond);

void printRatio(const bench::RatioReporter& reporter, const char* name, const char* base) {
  if (auto r = reporter.ratio(name, base))
    std::printf("%-14s / %-12s %6.2f (%.1f ms vs %.1f ms)\n", name, base, r->value, r->oursSeconds * 1e3,
                r->baseSeconds * 1e3);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("ratios against the SQLite C interface doing the same work (goal: at most 1.1):\n");
  printRatio(reporter, "InsertsLayer", "InsertsRaw");
  printRatio(reporter, "ReadsLayer", "ReadsRaw");
  unlink(readPath().c_str());
  benchmark::Shutdown();
  return 0;
}
