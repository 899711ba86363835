// Load generator for Modbus/TCP servers, built on libmodbus so that every server is driven by the
// same ordinary client. K connections, one thread each, one request outstanding per connection;
// each connection reads or writes its own block of holding registers for a fixed time, bounded
// also in count. libmodbus checks the framing of every response (transaction identifier, function
// code, byte count, quantity); this program checks the register values on top of that, so a
// server that answers quickly with the wrong data counts errors instead of requests.
//
// Output: one line starting with "RESULT" that scripts/bench.sh parses; details of a failure on
// stderr. Exit code 0 only when every connection connected and no response was wrong.

#include <modbus/modbus.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <latch>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The largest blocks a single Modbus request can read (code 3) or write (code 16).
constexpr int kMaxReadRegisters = 125;
constexpr int kMaxWriteRegisters = 123;
constexpr int kMaxConnections = 16;
// Generous, because a pinned run shares one CPU among every client and server thread.
constexpr int kResponseTimeoutSeconds = 2;
constexpr int kConnectRetryMs = 10;

enum class Operation { Read, Write, Idle, Probe };

struct Options {
  std::string host = "127.0.0.1";
  int port = 0;
  Operation operation = Operation::Read;
  int registerCount = 10;
  int connections = 1;
  double seconds = 5.0;
  long maxRequests = 5'000'000;  // per connection
  int connectTimeoutMs = 5000;
  int baseAddress = 1000;
  bool expectZeros = false;
};

// Latencies in fixed buckets: 0.1 µs wide up to 100 µs, 1 µs wide up to 10 ms, then one overflow
// bucket whose percentile is reported as the largest latency seen. Fixed storage keeps the
// recording cost constant and the memory bounded however long the run.
class LatencyHistogram {
 public:
  void Add(int64_t nanoseconds) {
    maxNanoseconds_ = std::max(maxNanoseconds_, nanoseconds);
    ++counts_[BucketOf(nanoseconds)];
    ++total_;
  }

  void Merge(const LatencyHistogram& other) {
    for (size_t i = 0; i < counts_.size(); ++i) counts_[i] += other.counts_[i];
    total_ += other.total_;
    maxNanoseconds_ = std::max(maxNanoseconds_, other.maxNanoseconds_);
  }

  // The upper edge of the bucket that holds the given fraction of the samples.
  double PercentileMicros(double fraction) const {
    if (total_ == 0) return 0.0;
    const uint64_t wanted = std::max<uint64_t>(1, static_cast<uint64_t>(fraction * total_ + 0.999999));
    uint64_t seen = 0;
    for (size_t i = 0; i < counts_.size(); ++i) {
      seen += counts_[i];
      if (seen >= wanted) return UpperEdgeMicros(i);
    }
    return MaxMicros();
  }

  double MaxMicros() const { return maxNanoseconds_ / 1000.0; }

 private:
  static constexpr int64_t kFineWidthNs = 100;
  static constexpr size_t kFineBuckets = 1000;       // up to 100 µs
  static constexpr int64_t kCoarseWidthNs = 1000;
  static constexpr size_t kCoarseBuckets = 9900;     // up to 10 ms
  static constexpr int64_t kFineLimitNs = kFineWidthNs * kFineBuckets;
  static constexpr size_t kOverflowBucket = kFineBuckets + kCoarseBuckets;

  static size_t BucketOf(int64_t ns) {
    if (ns < 0) ns = 0;
    if (ns < kFineLimitNs) return static_cast<size_t>(ns / kFineWidthNs);
    const auto coarse = static_cast<size_t>((ns - kFineLimitNs) / kCoarseWidthNs);
    return coarse < kCoarseBuckets ? kFineBuckets + coarse : kOverflowBucket;
  }

  double UpperEdgeMicros(size_t bucket) const {
    if (bucket < kFineBuckets) return (bucket + 1) * kFineWidthNs / 1000.0;
    if (bucket < kOverflowBucket) return (kFineLimitNs + (bucket - kFineBuckets + 1) * kCoarseWidthNs) / 1000.0;
    return MaxMicros();
  }

  std::array<uint64_t, kOverflowBucket + 1> counts_{};
  uint64_t total_ = 0;
  int64_t maxNanoseconds_ = 0;
};

struct ConnectionResult {
  LatencyHistogram latency;
  uint64_t requests = 0;
  uint64_t errors = 0;
  bool connected = false;
  Clock::time_point firstSent{};
  Clock::time_point lastAnswered{};
  int64_t cpuNanoseconds = 0;  // this connection's thread, during the timed part of the run
  std::string firstError;
};

int64_t ThreadCpuNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Differs between connections, between registers and between successive writes, so a response
// carrying another connection's block, a shifted block or a stale block does not match.
uint16_t PatternValue(int connection, int reg, uint64_t generation) {
  return static_cast<uint16_t>(0x5A00u ^ (static_cast<unsigned>(connection) << 12) ^
                               (static_cast<unsigned>(reg) * 0x0101u) ^
                               static_cast<unsigned>(generation * 0x9E37u));
}

void FillPattern(int connection, uint64_t generation, std::vector<uint16_t>& values) {
  for (size_t i = 0; i < values.size(); ++i) values[i] = PatternValue(connection, static_cast<int>(i), generation);
}

void NoteError(ConnectionResult& result, const std::string& what) {
  ++result.errors;
  if (result.firstError.empty()) result.firstError = what;
}

std::string LibmodbusFailure(const char* call) {
  return std::string(call) + " failed: " + modbus_strerror(errno);
}

// Returns the index of the first register that differs, or -1 when the block matches.
int FirstMismatch(const std::vector<uint16_t>& got, const std::vector<uint16_t>& expected) {
  for (size_t i = 0; i < got.size(); ++i) {
    if (got[i] != expected[i]) return static_cast<int>(i);
  }
  return -1;
}

std::string MismatchText(const char* when, int address, int index, uint16_t got, uint16_t expected) {
  char text[160];
  std::snprintf(text, sizeof text, "%s: register %d holds 0x%04X, expected 0x%04X", when, address + index, got, expected);
  return text;
}

// Connects, retrying until the deadline: the server may still be starting.
modbus_t* ConnectWithRetry(const Options& options, ConnectionResult& result) {
  modbus_t* context = modbus_new_tcp(options.host.c_str(), options.port);
  if (context == nullptr) {
    NoteError(result, LibmodbusFailure("modbus_new_tcp"));
    return nullptr;
  }
  modbus_set_response_timeout(context, kResponseTimeoutSeconds, 0);
  const auto deadline = Clock::now() + std::chrono::milliseconds(options.connectTimeoutMs);
  while (modbus_connect(context) == -1) {
    if (Clock::now() >= deadline) {
      NoteError(result, LibmodbusFailure("modbus_connect"));
      modbus_free(context);
      return nullptr;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kConnectRetryMs));
  }
  result.connected = true;
  return context;
}

// Reads the connection's block once and compares it with what should be there.
bool ReadBack(modbus_t* context, int address, const std::vector<uint16_t>& expected, const char* when,
              ConnectionResult& result) {
  std::vector<uint16_t> got(expected.size());
  if (modbus_read_registers(context, address, static_cast<int>(got.size()), got.data()) != static_cast<int>(got.size())) {
    NoteError(result, std::string(when) + ": " + LibmodbusFailure("modbus_read_registers"));
    return false;
  }
  const int index = FirstMismatch(got, expected);
  if (index >= 0) {
    NoteError(result, MismatchText(when, address, index, got[index], expected[index]));
    return false;
  }
  return true;
}

// Before a read run the connection writes its pattern, so that every read can be checked against it.
bool PrepareReadBlock(modbus_t* context, const Options& options, int connection, int address,
                      std::vector<uint16_t>& expected, ConnectionResult& result) {
  std::vector<uint16_t> pattern(options.registerCount);
  FillPattern(connection, 0, pattern);
  // A read may cover more registers than one write can carry.
  for (int done = 0; done < options.registerCount;) {
    const int chunk = std::min(options.registerCount - done, kMaxWriteRegisters);
    if (modbus_write_registers(context, address + done, chunk, pattern.data() + done) != chunk) {
      NoteError(result, "preparing the block: " + LibmodbusFailure("modbus_write_registers"));
      return false;
    }
    done += chunk;
  }
  if (options.expectZeros) {
    expected.assign(options.registerCount, 0);
  } else {
    expected = pattern;
  }
  return true;
}

void RunReads(modbus_t* context, const Options& options, int address, const std::vector<uint16_t>& expected,
              Clock::time_point deadline, ConnectionResult& result) {
  std::vector<uint16_t> got(options.registerCount);
  for (long n = 0; n < options.maxRequests; ++n) {
    const auto sent = Clock::now();
    const int rc = modbus_read_registers(context, address, options.registerCount, got.data());
    const auto answered = Clock::now();
    if (rc != options.registerCount) {
      NoteError(result, LibmodbusFailure("modbus_read_registers"));
      return;  // the stream may be out of step now; nothing after this would be meaningful
    }
    if (n == 0) result.firstSent = sent;
    result.lastAnswered = answered;
    ++result.requests;
    result.latency.Add(std::chrono::duration_cast<std::chrono::nanoseconds>(answered - sent).count());
    const int index = FirstMismatch(got, expected);
    if (index >= 0) {
      NoteError(result, MismatchText("read", address, index, got[index], expected[index]));
      return;
    }
    if (answered >= deadline) return;
  }
}

// Each write stores a new generation of the pattern; libmodbus checks the echoed quantity, and the
// read-back after the run checks that the last generation is what the server holds.
void RunWrites(modbus_t* context, const Options& options, int connection, int address, Clock::time_point deadline,
               ConnectionResult& result) {
  std::vector<uint16_t> values(options.registerCount);
  uint64_t generation = 0;
  for (long n = 0; n < options.maxRequests; ++n) {
    FillPattern(connection, ++generation, values);
    const auto sent = Clock::now();
    const int rc = modbus_write_registers(context, address, options.registerCount, values.data());
    const auto answered = Clock::now();
    if (rc != options.registerCount) {
      NoteError(result, LibmodbusFailure("modbus_write_registers"));
      return;
    }
    if (n == 0) result.firstSent = sent;
    result.lastAnswered = answered;
    ++result.requests;
    result.latency.Add(std::chrono::duration_cast<std::chrono::nanoseconds>(answered - sent).count());
    if (answered >= deadline) break;
  }
  if (options.expectZeros) values.assign(options.registerCount, 0);
  ReadBack(context, address, values, "read-back after writing", result);
}

// One connection's whole life: connect, prepare, wait for the others, run, close.
void RunConnection(const Options& options, int connection, std::latch& allReady, ConnectionResult& result) {
  modbus_t* context = ConnectWithRetry(options, result);
  const int address = options.baseAddress + connection * options.registerCount;
  std::vector<uint16_t> expected;
  bool ready = context != nullptr;
  if (ready && options.operation == Operation::Read) {
    ready = PrepareReadBlock(context, options, connection, address, expected, result);
  }
  if (ready && (options.operation == Operation::Idle || options.operation == Operation::Probe)) {
    // One checked request, so that the server has seen the connection do something.
    std::vector<uint16_t> got(1);
    if (modbus_read_registers(context, address, 1, got.data()) != 1) {
      NoteError(result, LibmodbusFailure("modbus_read_registers"));
      ready = false;
    }
  }
  allReady.arrive_and_wait();

  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
  const int64_t cpuAtStart = ThreadCpuNanoseconds();
  if (ready) {
    switch (options.operation) {
      case Operation::Read: RunReads(context, options, address, expected, deadline, result); break;
      case Operation::Write: RunWrites(context, options, connection, address, deadline, result); break;
      case Operation::Idle: std::this_thread::sleep_until(deadline); break;
      case Operation::Probe: break;
    }
  }
  result.cpuNanoseconds = ThreadCpuNanoseconds() - cpuAtStart;
  if (context != nullptr) {
    modbus_close(context);
    modbus_free(context);
  }
}

const char* OperationName(Operation operation) {
  switch (operation) {
    case Operation::Read: return "read";
    case Operation::Write: return "write";
    case Operation::Idle: return "idle";
    case Operation::Probe: return "probe";
  }
  return "?";
}

int Report(const Options& options, const std::vector<ConnectionResult>& results) {
  LatencyHistogram latency;
  uint64_t requests = 0;
  uint64_t errors = 0;
  int connected = 0;
  int64_t cpuNanoseconds = 0;
  Clock::time_point begin = Clock::time_point::max();
  Clock::time_point end = Clock::time_point::min();
  for (size_t i = 0; i < results.size(); ++i) {
    const ConnectionResult& result = results[i];
    latency.Merge(result.latency);
    requests += result.requests;
    errors += result.errors;
    connected += result.connected ? 1 : 0;
    cpuNanoseconds += result.cpuNanoseconds;
    if (result.requests > 0) {
      begin = std::min(begin, result.firstSent);
      end = std::max(end, result.lastAnswered);
    }
    if (!result.firstError.empty()) std::fprintf(stderr, "connection %zu: %s\n", i, result.firstError.c_str());
  }
  const double seconds = requests > 0 ? std::chrono::duration<double>(end - begin).count() : 0.0;
  const double perSecond = seconds > 0.0 ? requests / seconds : 0.0;
  std::printf("RESULT op=%s registers=%d connections=%d connected=%d seconds=%.3f requests=%llu rps=%.0f "
              "p50_us=%.1f p99_us=%.1f max_us=%.1f client_cpu_us=%lld errors=%llu\n",
              OperationName(options.operation), options.registerCount, options.connections, connected, seconds,
              static_cast<unsigned long long>(requests), perSecond, latency.PercentileMicros(0.50),
              latency.PercentileMicros(0.99), latency.MaxMicros(), static_cast<long long>(cpuNanoseconds / 1000), static_cast<unsigned long long>(errors));
  return errors == 0 && connected == options.connections ? 0 : 1;
}

// Binds an ephemeral loopback port, prints it and lets it go again, for starting a server whose
// port has to be given on its command line.
int PrintFreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool ok = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  close(fd);
  if (!ok) return 1;
  std::printf("%d\n", ntohs(address.sin_port));
  return 0;
}

void PrintUsage() {
  std::fprintf(stderr,
               "usage: bench_load_client --port N [--host 127.0.0.1] [--op read|write|idle|probe]\n"
               "         [--registers 10] [--connections 1] [--seconds 5] [--max-requests 5000000]\n"
               "         [--connect-timeout-ms 5000] [--base-address 1000] [--expect-zeros]\n"
               "       bench_load_client --free-port\n"
               "  read/write: K connections, one request outstanding each, every response checked\n"
               "  idle: open K connections, make one request on each, hold them for --seconds\n"
               "  probe: connect (retrying up to --connect-timeout-ms) and make one request\n"
               "  --expect-zeros: the server keeps no table (the floor server): reads return zeros\n");
}

bool ParseNumber(const char* text, long low, long high, long& value) {
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--expect-zeros") {
      options.expectZeros = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    long number = 0;
    if (name == "--host") {
      options.host = value;
    } else if (name == "--op") {
      const std::string op = value;
      if (op == "read") options.operation = Operation::Read;
      else if (op == "write") options.operation = Operation::Write;
      else if (op == "idle") options.operation = Operation::Idle;
      else if (op == "probe") options.operation = Operation::Probe;
      else return false;
    } else if (name == "--seconds") {
      char* end = nullptr;
      options.seconds = std::strtod(value, &end);
      if (end == value || *end != '\0' || !(options.seconds >= 0.0 && options.seconds <= 3600.0)) return false;
    } else if (ParseNumber(value, 0, 100'000'000, number)) {
      if (name == "--port" && number >= 1 && number <= 65535) options.port = static_cast<int>(number);
      else if (name == "--registers" && number >= 1 && number <= kMaxReadRegisters) options.registerCount = static_cast<int>(number);
      else if (name == "--connections" && number >= 1 && number <= kMaxConnections) options.connections = static_cast<int>(number);
      else if (name == "--max-requests" && number >= 1) options.maxRequests = number;
      else if (name == "--connect-timeout-ms") options.connectTimeoutMs = static_cast<int>(number);
      else if (name == "--base-address" && number <= 65535) options.baseAddress = static_cast<int>(number);
      else return false;
    } else {
      return false;
    }
  }
  if (options.port == 0) return false;
  if (options.operation == Operation::Write && options.registerCount > kMaxWriteRegisters) return false;
  // Every connection's block must lie inside the 65,536 registers.
  return options.baseAddress + options.connections * options.registerCount <= 65536;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--free-port") == 0) return PrintFreePort();
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    PrintUsage();
    return 2;
  }
  if (options.operation == Operation::Probe) options.connections = 1;

  std::vector<ConnectionResult> results(options.connections);
  std::latch allReady(options.connections);
  std::vector<std::thread> threads;
  threads.reserve(options.connections);
  for (int c = 0; c < options.connections; ++c) {
    threads.emplace_back(RunConnection, std::cref(options), c, std::ref(allReady), std::ref(results[c]));
  }
  for (std::thread& thread : threads) thread.join();
  return Report(options, results);
}
