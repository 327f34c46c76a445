#pragma once

#include <QString>

class KeyedArchiver;
class KeyedUnarchiver;

// A record that can be written to and read from a keyed archive. Records are
// held by std::shared_ptr; the coder keeps object identity, so shared
// references and back references survive a round trip.
class KeyedCoding {
  public:
    virtual ~KeyedCoding() = default;
    // Name under which the class is registered with KeyedUnarchiver.
    virtual QString archiveClassName() const = 0;
    virtual void encodeWithCoder(KeyedArchiver& coder) const = 0;
    // Called on an instance made by the registered factory. Objects referenced
    // by the archive already exist but may not be decoded yet.
    virtual void initWithCoder(const KeyedUnarchiver& coder) = 0;
};
