// Number reads and writes through the registry value store against the same
// work done with SQLite's C API directly, in the same run; and the
// enumeration of 1,000 and 10,000 value names, whose time per name should
// not grow with the count.
//
// The reference is what a program would write by hand to keep the same
// promises as the hive: the hive's value table, its log mode (WAL), sync
// level (NORMAL), log size limit and threading mode (no SQLite mutexes); a
// read is one prepared lookup by key and folded name; a write is its own
// transaction that takes the write lock at once (BEGIN IMMEDIATE, one
// upsert of the value with its time, COMMIT), all three statements
// prepared, as every registry write is. The store's own checks (the key
// still there, an unchanged value left alone) count against the store.
//
// The hives and the reference database live in a folder of their own below
// the temporary folder, which the benchmark names as the registry folder and
// removes when it ends.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/RegistryValueStore.h"

namespace {

constexpr int kNames = 1000;  // values the reads and writes cycle through

class Scratch {
 public:
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/store-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("store bench: mkdtemp");
      std::exit(1);
    }
    folder = pattern;
    setenv("ORBWEAVE_PREFIX", (folder + "/registry").c_str(), 1);
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  std::string folder;
};

const Scratch& Files() {
  static const Scratch scratch;
  return scratch;
}

std::string Name(int i) { return "value" + std::to_string(i); }

lumo::P<lumo::win32::CRegistryValueStore> Store(const std::string& path) {
  Files();
  return lumo::make<lumo::win32::CRegistryValueStore>(HKEY_CURRENT_USER, lumo::String(path.c_str()),
                                                      lumo::kValueStoreRead | lumo::kValueStoreWrite);
}

// A store of kNames numbers, filled once.
const lumo::P<lumo::win32::CRegistryValueStore>& Numbers() {
  static const lumo::P<lumo::win32::CRegistryValueStore> store = [] {
    auto made = Store("Software\\bench\\numbers");
    for (int i = 0; i < kNames; ++i) made->SetInt(Name(i).c_str(), i);
    return made;
  }();
  return store;
}

std::vector<lumo::String> Names() {
  std::vector<lumo::String> names;
  for (int i = 0; i < kNames; ++i) names.emplace_back(Name(i).c_str());
  return names;
}

// The reference (see the top of the file), one key's numbers.
class Reference {
 public:
  Reference() {
    const std::string file = Files().folder + "/reference.db";
    Check(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                          nullptr));
    Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA journal_size_limit=1048576;"
         "CREATE TABLE vals(key INTEGER NOT NULL, name TEXT NOT NULL, fold BLOB NOT NULL,"
         " type INTEGER NOT NULL, data BLOB NOT NULL, written INTEGER NOT NULL DEFAULT 0,"
         " PRIMARY KEY(key, fold)) WITHOUT ROWID;");
    select = Prepare("SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
    begin = Prepare("BEGIN IMMEDIATE");
    upsert = Prepare("INSERT INTO vals(key, name, fold, type, data, written) VALUES(?1, ?2, ?3, 4, ?4, ?5)"
                     " ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data,"
                     " written = excluded.written");
    commit = Prepare("COMMIT");
    for (int i = 0; i < kNames; ++i) Set(i, i);
  }
  ~Reference() {
    for (sqlite3_stmt* statement : {select, begin, upsert, commit}) sqlite3_finalize(statement);
    sqlite3_close(db);
  }

  std::int32_t Get(int i) {
    const std::string fold = Fold(i);
    sqlite3_bind_int64(select, 1, 2);
    sqlite3_bind_blob(select, 2, fold.data(), static_cast<int>(fold.size()), SQLITE_TRANSIENT);
    std::int32_t value = -1;
    if (sqlite3_step(select) == SQLITE_ROW && sqlite3_column_int(select, 0) == 4 &&
        sqlite3_column_bytes(select, 1) == 4)
      std::memcpy(&value, sqlite3_column_blob(select, 1), 4);
    sqlite3_reset(select);
    return value;
  }
  void Set(int i, std::int32_t value) {
    const std::string name = Name(i);
    const std::string fold = Fold(i);
    sqlite3_bind_int64(upsert, 1, 2);
    sqlite3_bind_text(upsert, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(upsert, 3, fold.data(), static_cast<int>(fold.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(upsert, 4, &value, 4, SQLITE_TRANSIENT);
    sqlite3_bind_int64(upsert, 5, Now());
    for (sqlite3_stmt* statement : {begin, upsert, commit}) {
      if (sqlite3_step(statement) != SQLITE_DONE) std::abort();
      sqlite3_reset(statement);
    }
  }

 private:
  // The name upper-cased as big-endian UTF-16 units, as the hive keys it.
  static std::string Fold(int i) {
    std::string fold;
    for (char c : Name(i)) {
      fold += '\0';
      fold += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return fold;
  }
  // The time in 100 ns ticks since 1601, as the hive keeps it.
  static std::int64_t Now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return (now.tv_sec + 11644473600LL) * 10000000 + now.tv_nsec / 100;
  }
  static void Check(int rc) {
    if (rc != SQLITE_OK) std::abort();
  }
  void Exec(const char* sql) { Check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr)); }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* statement = nullptr;
    Check(sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr));
    return statement;
  }

  sqlite3* db = nullptr;
  sqlite3_stmt* select = nullptr;
  sqlite3_stmt* begin = nullptr;
  sqlite3_stmt* upsert = nullptr;
  sqlite3_stmt* commit = nullptr;
};

Reference& TheReference() {
  static Reference reference;
  return reference;
}

void BM_StoreGetInt(benchmark::State& state) {
  const auto& store = Numbers();
  const std::vector<lumo::String> names = Names();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store->GetInt(names[i], -1));
    i = (i + 1) % kNames;
  }
}

void BM_SqliteGetInt(benchmark::State& state) {
  Reference& reference = TheReference();
  int i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(reference.Get(i));
    i = (i + 1) % kNames;
  }
}

// Every write changes the value, so none is skipped as unchanged.
void BM_StoreSetInt(benchmark::State& state) {
  const auto& store = Numbers();
  const std::vector<lumo::String> names = Names();
  std::int32_t round = 0;
  for (auto _ : state) {
    store->SetInt(names[round % kNames], kNames + round);
    ++round;
  }
}

void BM_SqliteSetInt(benchmark::State& state) {
  Reference& reference = TheReference();
  std::int32_t round = 0;
  for (auto _ : state) {
    reference.Set(round % kNames, kNames + round);
    ++round;
  }
}

void BM_StoreValueNames(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const auto store = Store("Software\\bench\\names" + std::to_string(count));
  for (int i = 0; i < count; ++i) store->SetInt(Name(i).c_str(), i);
  for (auto _ : state) {
    int seen = 0;
    for (auto names = store->GetValueNames(); names->hasMore(); ++seen) benchmark::DoNotOptimize(names->next());
    if (seen != count) state.SkipWithError("names missing");
  }
  state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK(BM_SqliteGetInt)->Iterations(100000)->UseRealTime();
BENCHMARK(BM_StoreGetInt)->Iterations(100000)->UseRealTime();
BENCHMARK(BM_SqliteSetInt)->Iterations(10000)->UseRealTime();
BENCHMARK(BM_StoreSetInt)->Iterations(10000)->UseRealTime();
BENCHMARK(BM_StoreValueNames)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
