#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "SqlDatabase.h"

namespace zenu {
namespace {

constexpr Oid kByteaOid = 17;

struct ResultFree {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

std::string ErrorOf(PGconn* conn) {
  std::string message = PQerrorMessage(conn);
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return message;
}

// The statements are written with "?" for SQLite; PostgreSQL numbers its parameters.
std::string NumberParameters(const std::string& sql) {
  std::string out;
  out.reserve(sql.size() + 16);
  int n = 0;
  bool quoted = false;
  for (char c : sql) {
    if (c == '\'') quoted = !quoted;
    if (c == '?' && !quoted) {
      out += '$' + std::to_string(++n);
    } else {
      out += c;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

class PostgresStatement final : public SqlStatement {
 public:
  PostgresStatement(PGconn* conn, const std::string& sql)
      : conn_(conn), sql_(NumberParameters(sql)) {}

  SqlStatement& Bind(int i, int64_t v) override { return Set(i, std::to_string(v), 0, 0); }
  SqlStatement& Bind(int i, double v) override {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return Set(i, text, 0, 0);
  }
  SqlStatement& BindText(int i, const std::string& v) override { return Set(i, v, 0, 0); }
  SqlStatement& BindBlob(int i, const std::string& v) override { return Set(i, v, 1, kByteaOid); }
  SqlStatement& BindNull(int i) override {
    Set(i, std::string(), 0, 0);
    nulls_[static_cast<size_t>(i - 1)] = true;
    return *this;
  }

  bool Step() override {
    if (!result_) Run();
    return row_ < PQntuples(result_.get()) && (++row_, true);
  }
  void Reset() override {
    result_.reset();
    row_ = 0;
    values_.clear();
    formats_.clear();
    types_.clear();
    nulls_.clear();
  }
  int64_t Int(int col) override { return std::strtoll(Value(col), nullptr, 10); }
  double Real(int col) override { return std::strtod(Value(col), nullptr); }
  std::string Text(int col) override {
    const char* v = Value(col);
    int size = PQgetlength(result_.get(), row_ - 1, col);
    if (PQftype(result_.get(), col) != kByteaOid) return std::string(v, size);
    // Text results give bytea as "\x" and hexadecimal digits.
    std::string bytes;
    if (size >= 2 && v[0] == '\\' && v[1] == 'x') {
      bytes.reserve((size - 2) / 2);
      for (int at = 2; at + 1 < size; at += 2) {
        bytes += static_cast<char>(HexValue(v[at]) << 4 | HexValue(v[at + 1]));
      }
    }
    return bytes;
  }
  int64_t Changes() override { return changes_; }

 private:
  SqlStatement& Set(int i, std::string value, int format, Oid type) {
    if (i < 1) throw std::invalid_argument("parameters are numbered from 1");
    size_t at = static_cast<size_t>(i - 1);
    if (values_.size() <= at) {
      values_.resize(at + 1);
      formats_.resize(at + 1, 0);
      types_.resize(at + 1, 0);
      nulls_.resize(at + 1, false);
    }
    values_[at] = std::move(value);
    nulls_[at] = false;
    formats_[at] = format;
    types_[at] = type;
    return *this;
  }

  void Run() {
    std::vector<const char*> pointers;
    std::vector<int> lengths;
    for (size_t at = 0; at < values_.size(); ++at) {
      pointers.push_back(nulls_[at] ? nullptr : values_[at].data());
      lengths.push_back(static_cast<int>(values_[at].size()));
    }
    result_.reset(PQexecParams(conn_, sql_.c_str(), static_cast<int>(values_.size()), types_.data(),
                               pointers.data(), lengths.data(), formats_.data(), 0));
    ExecStatusType status = result_ ? PQresultStatus(result_.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
      std::string message = result_ ? PQresultErrorMessage(result_.get()) : ErrorOf(conn_);
      while (!message.empty() && message.back() == '\n') message.pop_back();
      result_.reset();
      throw std::runtime_error("postgresql: " + message);
    }
    const char* tuples = PQcmdTuples(result_.get());
    changes_ = tuples && *tuples ? std::strtoll(tuples, nullptr, 10) : 0;
    row_ = 0;
  }

  const char* Value(int col) {
    if (!result_ || row_ < 1 || col < 0 || col >= PQnfields(result_.get())) {
      throw std::out_of_range("no such column in the row");
    }
    return PQgetvalue(result_.get(), row_ - 1, col);
  }

  PGconn* conn_;
  std::string sql_;
  std::vector<std::string> values_;
  std::vector<int> formats_;
  std::vector<Oid> types_;
  std::vector<bool> nulls_;
  Result result_;
  int row_ = 0;
  int64_t changes_ = 0;
};

class PostgresConnection final : public SqlConnection {
 public:
  explicit PostgresConnection(const std::string& target) {
    // The target may be a URI or key words; a server that does not answer must not hold a
    // request thread for long.
    const char* keys[] = {"dbname", "connect_timeout", "client_encoding", nullptr};
    const char* values[] = {target.c_str(), "10", "UTF8", nullptr};
    conn_ = PQconnectdbParams(keys, values, 1);
    if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
      std::string message = conn_ ? ErrorOf(conn_) : "out of memory";
      PQfinish(conn_);
      throw std::runtime_error("cannot connect to " + WithoutPassword(target) + ": " + message);
    }
    Exec(
        "SET lock_timeout = '10s'; SET statement_timeout = '60s'; SET client_min_messages = "
        "warning");
  }
  ~PostgresConnection() override { PQfinish(conn_); }

  SqlDialect Dialect() const override { return SqlDialect::kPostgres; }
  std::unique_ptr<SqlStatement> Prepare(const std::string& sql) override {
    return std::make_unique<PostgresStatement>(conn_, sql);
  }
  void Exec(const std::string& sql) override {
    Result r(PQexec(conn_, sql.c_str()));
    ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
      std::string message = r ? PQresultErrorMessage(r.get()) : ErrorOf(conn_);
      while (!message.empty() && message.back() == '\n') message.pop_back();
      throw std::runtime_error("postgresql: " + message);
    }
  }
  void Begin() override { Exec("BEGIN"); }
  bool Healthy() const override { return PQstatus(conn_) == CONNECTION_OK; }

 private:
  PGconn* conn_ = nullptr;
};

}  // namespace

std::unique_ptr<SqlConnection> OpenPostgresConnection(const std::string& target) {
  return std::make_unique<PostgresConnection>(target);
}

}  // namespace zenu
