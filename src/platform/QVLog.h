#pragma once

#include <functional>

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

Q_DECLARE_LOGGING_CATEGORY(lcRelaydock)

// One-line English log messages. Tests can capture what was logged.
class QVLog {
  public:
    static void log(const QString& message);

    // Records every message logged while it lives (from any thread).
    class Capture {
      public:
        Capture();
        ~Capture();
        Capture(const Capture&) = delete;
        Capture& operator=(const Capture&) = delete;
        QStringList lines() const;
        bool contains(const QString& text) const;  // substring of any line

      private:
        quint64 id_;
    };
};
