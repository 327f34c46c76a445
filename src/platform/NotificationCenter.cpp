#include "platform/NotificationCenter.h"

#include <vector>

#include "platform/Dispatch.h"

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString& name, Handler handler) {
    std::lock_guard lock(mutex_);
    const Token token = next_++;
    observers_.emplace(token, std::make_pair(name, std::move(handler)));
    return token;
}

void NotificationCenter::removeObserver(Token token) {
    std::lock_guard lock(mutex_);
    observers_.erase(token);
}

void NotificationCenter::post(const QString& name, std::any object, const QVariantMap& userInfo) {
    Notification notification{name, std::move(object), userInfo};
    if (Dispatch::isMainThread()) {
        deliver(notification);
        return;
    }
    Dispatch::main(
        [this, alive = std::weak_ptr<int>(lifetime_), notification = std::move(notification)] {
            if (alive.lock()) deliver(notification);
        });
}

// Observers may add or remove observers (themselves included) while being
// notified, so the matching ones are copied first and each is checked again
// right before it runs: an observer removed by an earlier one is not called.
// An observer registered with an empty name receives every notification.
void NotificationCenter::deliver(const Notification& notification) {
    std::vector<Token> tokens;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [token, entry] : observers_)
            if (entry.first.isEmpty() || entry.first == notification.name) tokens.push_back(token);
    }
    for (Token token : tokens) {
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            auto it = observers_.find(token);
            if (it == observers_.end()) continue;
            handler = it->second.second;
        }
        if (handler) handler(notification);
    }
}
