#include "SqlDatabase.h"

#include <stdexcept>

namespace zenu {

bool SqlDatabase::IsPostgresTarget(const std::string& target) {
  return target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0 ||
         target.find("dbname=") != std::string::npos;
}

std::string WithoutPassword(const std::string& target) {
  size_t scheme = target.find("://");
  if (scheme != std::string::npos) {
    size_t at = target.find('@', scheme + 3);
    size_t colon = target.find(':', scheme + 3);
    if (at != std::string::npos && colon != std::string::npos && colon < at) {
      return target.substr(0, colon) + target.substr(at);
    }
    return target;
  }
  // Key words: drop "password=..." up to the next space.
  std::string out = target;
  size_t p = out.find("password=");
  if (p != std::string::npos) {
    size_t end = out.find(' ', p);
    out.erase(p, end == std::string::npos ? std::string::npos : end - p + 1);
  }
  return out;
}

std::unique_ptr<SqlDatabase> SqlDatabase::Open(const std::string& target, int poolSize) {
  const bool postgres = IsPostgresTarget(target);
  Factory factory = postgres ? Factory([target] { return OpenPostgresConnection(target); })
                             : Factory([target] { return OpenSqliteConnection(target); });
  std::unique_ptr<SqlDatabase> db(
      new SqlDatabase(postgres ? SqlDialect::kPostgres : SqlDialect::kSqlite,
                      WithoutPassword(target), std::move(factory), poolSize));
  // Open one now so that a wrong address or file fails at start, not at the first request.
  db->Acquire();
  return db;
}

SqlDatabase::SqlDatabase(SqlDialect dialect, std::string name, Factory factory, int poolSize)
    : dialect_(dialect),
      name_(std::move(name)),
      factory_(std::move(factory)),
      capacity_(std::max(1, poolSize)) {}

SqlDatabase::Lease SqlDatabase::Acquire() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    while (!idle_.empty()) {
      std::unique_ptr<SqlConnection> c = std::move(idle_.back());
      idle_.pop_back();
      if (c->Healthy()) return Lease(*this, std::move(c));
      --opened_;
    }
    if (opened_ < capacity_) {
      ++opened_;
      lock.unlock();
      try {
        return Lease(*this, factory_());
      } catch (...) {
        lock.lock();
        --opened_;
        available_.notify_one();
        throw;
      }
    }
    available_.wait(lock);
  }
}

void SqlDatabase::Return(std::unique_ptr<SqlConnection> c) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (c && c->Healthy()) {
    idle_.push_back(std::move(c));
  } else {
    --opened_;
  }
  available_.notify_one();
}

SqlDatabase::Lease::~Lease() {
  if (owner_ && c_) owner_->Return(std::move(c_));
}

}  // namespace zenu
