#pragma once

#include <QProcess>
#include <QString>

// An X server of the test's own (Xvfb on a free display), for what Qt only
// offers on a real windowing system, such as the status icon. Empty
// display() when Xvfb is not installed or did not start.
class PrivateDisplay {
  public:
    PrivateDisplay();
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    QString display() const { return display_; }  // ":N"

  private:
    QProcess server_;
    QString display_;
};
