#include "server/mqtt/WriteGateway.h"

#include <algorithm>

#include "server/mqtt/StatusNames.h"

namespace zentarc::mqtt {

WriteGateway::WriteGateway(const PublishedPlant& plant, std::function<void()> wake)
    : plant_(plant), inbox_(std::make_shared<Inbox>()) {
  inbox_->wake = std::move(wake);
}

WriteGateway::~WriteGateway() {
  std::lock_guard g(inbox_->mutex);
  inbox_->open = false;
}

void WriteGateway::take(WriteCommand command, Clock::time_point now, std::vector<WriteAnswer>& answers) {
  std::string status;
  if (command.tag >= plant_.tags.size()) status = command.status.empty() ? "BadNodeIdUnknown" : command.status;
  else if (!plant_.tags[command.tag].writable) status = "BadNotWritable";  // before the value, as OPC UA does
  else if (!command.status.empty()) status = command.status;
  else if (waiting_.size() >= kMaxWaiting) status = "BadTooManyOperations";
  if (!status.empty()) {
    answers.push_back({std::move(command), std::move(status)});
    return;
  }
  std::weak_ptr<Inbox> weak = inbox_;
  SOCmnPointer<SODaSRequest> request = plant_.tags[command.tag].tag->submitWrite(
      command.value, [weak](SODaSRequest& r) {
        // On the completing thread, maybe with the PLC's queue lock held: only hand it on.
        // A request dropped unfinished completes from its destructor; that only happens once
        // we let go of it (timed out), and then nobody waits for it.
        const auto inbox = weak.lock();
        if (!inbox || r.getRefCount() == 0) return;
        std::function<void()> wake;
        {
          std::lock_guard g(inbox->mutex);
          if (!inbox->open) return;
          inbox->completed.push_back(SOCmnPointer<SODaSRequest>::share(&r));
          wake = inbox->wake;
        }
        if (wake) wake();
      });
  command.value.clear();
  waiting_.push_back({std::move(command), std::move(request), now + kTimeout});
}

void WriteGateway::collect(Clock::time_point now, std::vector<WriteAnswer>& answers) {
  std::vector<SOCmnPointer<SODaSRequest>> completed;
  {
    std::lock_guard g(inbox_->mutex);
    completed.swap(inbox_->completed);
  }
  for (const auto& r : completed) {
    // One that timed out already has had its answer.
    const auto it = std::find_if(waiting_.begin(), waiting_.end(), [&r](const Waiting& w) { return w.request == r; });
    if (it == waiting_.end()) continue;
    answers.push_back({std::move(it->command), std::string(writeStatusName(*r))});
    waiting_.erase(it);
  }
  for (auto it = waiting_.begin(); it != waiting_.end();) {
    if (now >= it->deadline && !it->request->isCompleted()) {
      answers.push_back({std::move(it->command), "BadTimeout"});
      it = waiting_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace zentarc::mqtt
