#include "server/toolkit/ua/security/PasswordChecks.h"

#include <openssl/crypto.h>

namespace zentarc::ua {

PasswordChecks::PasswordChecks(std::shared_ptr<UserDirectory> users, size_t maxWaiting)
    : users_(std::move(users)), maxWaiting_(maxWaiting), worker_([this] { run(); }) {}

PasswordChecks::~PasswordChecks() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (Job& j : jobs_) OPENSSL_cleanse(j.password.data(), j.password.size());
    jobs_.clear();
  }
  wake_.notify_all();
  worker_.join();
}

bool PasswordChecks::submit(std::string name, std::string password, Done done) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || jobs_.size() >= maxWaiting_) {
      OPENSSL_cleanse(password.data(), password.size());
      return false;
    }
    jobs_.push_back(Job{std::move(name), std::move(password), std::move(done)});
  }
  wake_.notify_one();
  return true;
}

void PasswordChecks::run() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    const std::optional<UserGrant> grant = users_ ? users_->check(job.name, job.password) : std::nullopt;
    OPENSSL_cleanse(job.password.data(), job.password.size());
    job.done(grant);
  }
}

}  // namespace zentarc::ua
