// Intake load: posts an EinsatzWeiterleiten request over HTTPS again and
// again, each time with a new incident id, and prints the latency
// percentiles and incidents per second. Then the floor: the SQL statements of
// one such request, replayed through one MariaDB connection for the same
// time. Started by benchmarks/intake-bench.sh, which sets everything up.
//
//   intake_bench URL REQUEST_FILE STATEMENTS_FILE SECONDS DB_PORT DB_PASSWORD DB_NAME
//
// STATEMENTS_FILE holds one statement per line, in hexadecimal.
#include <curl/curl.h>
#include <mysql.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string FromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::string Replace(std::string text, const std::string& what, const std::string& with) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at))
    text.replace(at, what.size(), with), at += with.size();
  return text;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

// Posts the request with a fresh incident id until the time is up.
std::vector<double> PostLoop(const std::string& url, const std::string& request, double seconds) {
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/xml; charset=utf-8");
  headers = curl_slist_append(headers, "Expect:");
  std::unique_ptr<curl_slist, void (*)(curl_slist*)> header_list(headers, curl_slist_free_all);
  std::string reply;
  curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 30L);
  curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(
      curl.get(), CURLOPT_WRITEFUNCTION, +[](char* d, size_t s, size_t n, void* out) {
        static_cast<std::string*>(out)->append(d, s * n);
        return s * n;
      });
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &reply);
  std::vector<double> latencies;
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  for (unsigned i = 0; Clock::now() < end; ++i) {
    const std::string body = Replace(request, "ILS-2024-000123", "BENCH-" + std::to_string(i));
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    reply.clear();
    const auto start = Clock::now();
    const CURLcode rc = curl_easy_perform(curl.get());
    latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (rc != CURLE_OK || reply.find("<Success xmlns=\"\">true</Success>") == std::string::npos) {
      std::cerr << "intake_bench: request " << i << " failed: " << curl_easy_strerror(rc) << "\n"
                << reply << "\n";
      break;
    }
  }
  return latencies;
}

// Runs the statements again and again on one connection; returns the rounds.
unsigned ReplayLoop(const std::vector<std::string>& statements, unsigned port,
                    const std::string& password, const std::string& database, double seconds) {
  std::unique_ptr<MYSQL, void (*)(MYSQL*)> m(mysql_init(nullptr), mysql_close);
  mysql_optionsv(m.get(), MYSQL_SET_CHARSET_NAME, "utf8mb4");
  if (!mysql_real_connect(m.get(), "127.0.0.1", "root", password.c_str(), database.c_str(), port,
                          nullptr, 0)) {
    std::cerr << "intake_bench: " << mysql_error(m.get()) << "\n";
    return 0;
  }
  unsigned rounds = 0;
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (Clock::now() < end) {
    for (const std::string& statement : statements) {
      if (mysql_real_query(m.get(), statement.data(), statement.size()) != 0) {
        std::cerr << "intake_bench: " << mysql_error(m.get()) << " in " << statement << "\n";
        return rounds;
      }
      if (MYSQL_RES* r = mysql_store_result(m.get())) mysql_free_result(r);
    }
    ++rounds;
  }
  return rounds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8) {
    std::cerr << "usage: intake_bench URL REQUEST STATEMENTS SECONDS DB_PORT DB_PASSWORD DB_NAME\n";
    return 2;
  }
  const std::string url = argv[1], request = ReadFile(argv[2]);
  const double seconds = std::stod(argv[4]);
  std::vector<std::string> statements;
  std::istringstream hex(ReadFile(argv[3]));
  for (std::string line; std::getline(hex, line);)
    if (!line.empty()) statements.push_back(FromHex(line));

  curl_global_init(CURL_GLOBAL_DEFAULT);
  const std::vector<double> latencies = PostLoop(url, request, seconds);
  double total = 0;
  for (double l : latencies) total += l;
  const double rate = latencies.size() / (total / 1000.0);
  std::printf("service:  %zu incidents in %.1f s: %.1f incidents/s, p50 %.1f ms, p99 %.1f ms\n",
              latencies.size(), total / 1000.0, rate, Percentile(latencies, 0.50),
              Percentile(latencies, 0.99));

  const unsigned rounds =
      ReplayLoop(statements, static_cast<unsigned>(std::stoul(argv[5])), argv[6], argv[7], seconds);
  const double floor = rounds / seconds;
  std::printf(
      "floor:    %zu statements per incident replayed on one connection: %.1f incidents/s\n",
      statements.size(), floor);
  std::printf("ratio service/floor: %.3f\n", floor > 0 ? rate / floor : 0.0);
  curl_global_cleanup();
  return 0;
}
