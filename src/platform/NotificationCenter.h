#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include <QString>
#include <QVariantMap>

struct Notification {
    QString name;
    std::any object;
    QVariantMap userInfo;
};

// Named notifications inside the agent. Observers always run on the main
// thread: a post from another thread is delivered there asynchronously, a
// post from the main thread is delivered before post() returns. An observer
// registered with an empty name receives every notification. Observers may
// add and remove observers while being notified; one removed meanwhile is
// not called.
class NotificationCenter {
  public:
    using Token = quint64;
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    Token addObserver(const QString& name, Handler handler);
    void removeObserver(Token token);
    void post(const QString& name, std::any object = {}, const QVariantMap& userInfo = {});

  private:
    void deliver(const Notification& notification);

    std::mutex mutex_;
    Token next_ = 1;
    std::map<Token, std::pair<QString, Handler>> observers_;
    // Lets a delivery queued from another thread notice that the centre has
    // been destroyed meanwhile (on the main thread) and drop itself.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};
