// HTTP client for the control interface's benchmarks (scripts/bench.sh control). Two uses:
//
//   --poll --port P --seconds S [--rate R]
//                                 what a dashboard or a test rig does while a Modbus client works:
//                                 GET /api/v1/status and GET /api/v1/transactions?after=LAST R
//                                 times a second (default 10; 0 only waits), LAST being the previous
//                                 answer's "last"; counts the transactions that the history
//                                 dropped before a poll asked for them (a poller that falls behind)
//   --tables --port P --reps N    times N PUTs of /api/v1/registers with all 65,536 values and N
//                                 GETs of /api/v1/registers?start=0&count=65536, each GET checked
//                                 against the PUT before it
//
// Output: one line starting with "RESULT" that scripts/bench.sh parses. Exit status 0 only when
// every answer was 200 and every read matched. Bounded: at most 600 s of polling, 100 repetitions,
// and SIGTERM or SIGINT ends a poll at its next tick with the result so far.

#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <nlohmann/json.hpp>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTableSize = 65536;
constexpr int kMaxRate = 100;
constexpr double kMaxSeconds = 600;
constexpr int kMaxReps = 100;
// The interface answers a wait-free request at once; these only end a run against a hung server.
constexpr time_t kTimeoutSeconds = 10;

std::atomic<bool> StopAsked{false};

void AskStop(int) { StopAsked.store(true); }

struct Options {
  enum class Mode { None, Poll, Tables } mode = Mode::None;
  int port = 0;
  double seconds = 5;
  int rate = 10;
  int reps = 20;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--poll") {
      options->mode = Options::Mode::Poll;
      continue;
    }
    if (name == "--tables") {
      options->mode = Options::Mode::Tables;
      continue;
    }
    if (i + 1 >= argc) return false;
    const char* text = argv[++i];
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0') return false;
    if (name == "--port" && value >= 1 && value <= 65535) options->port = static_cast<int>(value);
    else if (name == "--seconds" && value > 0 && value <= kMaxSeconds) options->seconds = value;
    else if (name == "--reps" && value >= 1 && value <= kMaxReps) options->reps = static_cast<int>(value);
    else if (name == "--rate" && value >= 0 && value <= kMaxRate) options->rate = static_cast<int>(value);
    else return false;
  }
  return options->mode != Options::Mode::None && options->port != 0;
}

httplib::Client MakeClient(int port) {
  httplib::Client client("127.0.0.1", port);
  client.set_keep_alive(true);
  client.set_tcp_nodelay(true);
  client.set_connection_timeout(kTimeoutSeconds);
  client.set_read_timeout(kTimeoutSeconds);
  client.set_write_timeout(kTimeoutSeconds);
  return client;
}

// The number after "name": in the end of a history answer, e.g. "\"last\":".
bool ReadMember(const std::string& tail, const std::string& name, uint64_t* number) {
  const size_t at = tail.rfind(name);
  if (at == std::string::npos) return false;
  const char* start = tail.c_str() + at + name.size();
  char* end = nullptr;
  const unsigned long long value = std::strtoull(start, &end, 10);
  if (end == start) return false;
  *number = value;
  return true;
}

// A history answer as it arrives, keeping only its end ("last" and "dropped" follow the entries):
// the poller shares the CPU with the measured server, and keeping or parsing thousands of
// transactions would charge the interface for the client's work.
struct AnswerTail {
  std::string tail;
  uint64_t bytes = 0;

  void Take(const char* data, size_t length) {
    bytes += length;
    const size_t kept = std::min(length, kTailBytes);
    tail.append(data + length - kept, kept);
    if (tail.size() > kTailBytes) tail.erase(0, tail.size() - kTailBytes);
  }
  static constexpr size_t kTailBytes = 128;
};

// The poller's own HTTP/1.1 connection, reading an answer 64 KB at a time, as curl and Python's
// http.client read a body of known length. cpp-httplib's client reads 4 KB at a time: some 500
// reads for an answer of 2 MB, which cost the poller about 1.2 ms of the CPU it shares with the
// measured server per poll, the client's cost rather than the interface's.
class PollConnection {
 public:
  ~PollConnection() {
    if (socket_ >= 0) close(socket_);
  }

  bool Open(int port) {
    if (socket_ >= 0) close(socket_);
    port_ = port;
    socket_ = socket(AF_INET, SOCK_STREAM, 0);
    if (socket_ < 0) return false;
    const int on = 1;
    const timeval timeout{kTimeoutSeconds, 0};
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }

  // Asks for `path` and hands the answer's body to take(data, length) as it arrives. Answers the
  // HTTP status, or -1 when the exchange failed or the answer had no Content-Length.
  template <typename Take>
  int Get(const std::string& path, Take take) {
    // The server ends a connection after a few requests, saying so in the last answer's head.
    if (closing_ && !Open(port_)) return -1;
    closing_ = false;
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (send(socket_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) return -1;
    std::string head;
    size_t headEnd = std::string::npos;
    while (headEnd == std::string::npos) {
      const ssize_t got = recv(socket_, buffer_.data(), buffer_.size(), 0);
      if (got <= 0 || head.size() > kMaxHead) return -1;
      head.append(buffer_.data(), static_cast<size_t>(got));
      headEnd = head.find("\r\n\r\n");
    }
    int status = 0;
    unsigned long long length = 0;
    const size_t lengthAt = head.find("Content-Length: ");
    if (std::sscanf(head.c_str(), "HTTP/1.1 %d", &status) != 1 || lengthAt == std::string::npos || lengthAt > headEnd ||
        std::sscanf(head.c_str() + lengthAt, "Content-Length: %llu", &length) != 1) {
      return -1;
    }
    const size_t closeAt = head.find("Connection: close");
    closing_ = closeAt != std::string::npos && closeAt < headEnd;
    const size_t early = std::min<size_t>(head.size() - headEnd - 4, length);
    take(head.data() + headEnd + 4, early);
    for (unsigned long long left = length - early; left > 0;) {
      const ssize_t got = recv(socket_, buffer_.data(), std::min<unsigned long long>(buffer_.size(), left), 0);
      if (got <= 0) return -1;
      take(buffer_.data(), static_cast<size_t>(got));
      left -= static_cast<unsigned long long>(got);
    }
    return status;
  }

 private:
  static constexpr size_t kMaxHead = 8192;
  int socket_ = -1;
  int port_ = 0;
  bool closing_ = false;
  std::vector<char> buffer_ = std::vector<char>(65536);
};

int Poll(const Options& options) {
  PollConnection connection;
  if (!connection.Open(options.port)) {
    std::fprintf(stderr, "control_client: cannot connect to 127.0.0.1:%d\n", options.port);
    return 1;
  }
  uint64_t last = 0;
  long polls = 0, errors = 0;
  uint64_t transactions = 0, bytes = 0;
  // Transactions the history dropped before a poll could fetch them: a poller that falls behind.
  uint64_t missed = 0;
  double slowestMs = 0;
  const Clock::time_point start = Clock::now();
  const auto length = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
  // With no polls to make, the loop only waits for the end, a tenth of a second at a time.
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(options.rate > 0 ? 1.0 / options.rate : 0.1));
  for (Clock::time_point tick = start; tick < start + length && !StopAsked.load(); tick += period) {
    std::this_thread::sleep_until(tick);
    if (options.rate == 0) continue;
    const Clock::time_point asked = Clock::now();
    AnswerTail status;
    const int statusCode = connection.Get("/api/v1/status", [&status](const char* data, size_t length) { status.Take(data, length); });
    const std::string path = "/api/v1/transactions?after=" + std::to_string(last);
    AnswerTail answer;
    const int historyCode = statusCode < 0 ? -1 :
        connection.Get(path, [&answer](const char* data, size_t length) { answer.Take(data, length); });
    slowestMs = std::max(slowestMs, std::chrono::duration<double, std::milli>(Clock::now() - asked).count());
    ++polls;
    uint64_t newest = 0, dropped = 0;
    if (statusCode != 200 || historyCode != 200 || !ReadMember(answer.tail, "\"last\":", &newest) ||
        !ReadMember(answer.tail, "\"dropped\":", &dropped)) {
      ++errors;
      std::fprintf(stderr, "control_client: poll %ld failed (%s)\n", polls,
                   statusCode < 0 ? "no status answer" : historyCode < 0 ? "no transactions answer" : "bad answer");
      if (statusCode < 0 || historyCode < 0) break;   // the connection is out of step
      continue;
    }
    bytes += status.bytes + answer.bytes;
    // The first answer holds what came before the poll began.
    if (polls > 1) {
      transactions += newest - last;
      missed += dropped > last ? dropped - last : 0;
    }
    last = newest;
  }
  std::printf("RESULT polls=%ld errors=%ld transactions=%llu missed=%llu bytes=%llu slowest_ms=%.2f\n", polls,
              errors, static_cast<unsigned long long>(transactions), static_cast<unsigned long long>(missed),
              static_cast<unsigned long long>(bytes), slowestMs);
  return errors == 0 && (polls > 0 || options.rate == 0) ? 0 : 1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int Tables(const Options& options) {
  httplib::Client client = MakeClient(options.port);
  std::vector<double> putMs, getMs;
  long errors = 0;
  std::vector<uint16_t> values(kTableSize);
  for (int rep = 0; rep < options.reps; ++rep) {
    // Different values every time, so that a read that misses the write shows.
    for (int address = 0; address < kTableSize; ++address) {
      values[address] = static_cast<uint16_t>(address * 7 + rep * 13);
    }
    const std::string body = nlohmann::json{{"start", 0}, {"values", values}}.dump();
    Clock::time_point begin = Clock::now();
    httplib::Result put = client.Put("/api/v1/registers", body, "application/json");
    putMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    begin = Clock::now();
    httplib::Result get = client.Get("/api/v1/registers?start=0&count=65536");
    getMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    if (!put || put->status != 200 || !get || get->status != 200) {
      ++errors;
      std::fprintf(stderr, "control_client: repetition %d: PUT %d, GET %d\n", rep, put ? put->status : 0,
                   get ? get->status : 0);
      continue;
    }
    const nlohmann::json read = nlohmann::json::parse(get->body, nullptr, false);
    if (read.is_discarded() || !read.contains("values") || read["values"] != nlohmann::json(values)) {
      ++errors;
      std::fprintf(stderr, "control_client: repetition %d: the GET did not answer what the PUT wrote\n", rep);
    }
  }
  std::printf("RESULT reps=%d errors=%ld put_median_ms=%.2f put_max_ms=%.2f get_median_ms=%.2f get_max_ms=%.2f\n",
              options.reps, errors, Median(putMs), *std::max_element(putMs.begin(), putMs.end()), Median(getMs),
              *std::max_element(getMs.begin(), getMs.end()));
  return errors == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "Usage: control_client --poll --port P [--seconds S] [--rate R]\n"
                 "       control_client --tables --port P [--reps N]\n");
    return 2;
  }
  std::signal(SIGTERM, AskStop);
  std::signal(SIGINT, AskStop);
  return options.mode == Options::Mode::Poll ? Poll(options) : Tables(options);
}
