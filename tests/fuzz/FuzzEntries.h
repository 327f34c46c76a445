#pragma once

#include <cstddef>
#include <cstdint>

// The code under fuzzing, one entry per target. The libFuzzer programs in
// this folder and the corpus replay in the normal suite (tests/fuzz-replay)
// call the same entries, so every input kept in tests/fuzz/corpus/ is
// checked by every build. An entry returns normally for any input; a broken
// invariant aborts with a message (FuzzEntries::check).
namespace FuzzEntries {

// Points HOME and the XDG folders at a private temporary folder and makes
// the Qt application object when there is none. Idempotent.
void initialize();

// Apple-event frames as the agent's socket receives them: every complete
// frame is decoded, and each event is run through the scripting runtime with
// the agent's definition, document and create command.
int appleEventFrames(const uint8_t* data, size_t size);

// A property list read as the export list and the library registry are:
// export items and libraries are built from it, written back and read again.
int propertyListRecords(const uint8_t* data, size_t size);

// A service answer (JSON or property list) through the response decoder and
// the status-record reader; JSON is also compared with Qt's reader.
int serviceAnswer(const uint8_t* data, size_t size);

// A project-tree answer decoded and built into a library's projects and
// groups, walked, written back and built again.
int projectTree(const uint8_t* data, size_t size);

// Aborts with the message (and the name of the input, when one was set)
// when the condition does not hold.
void check(bool condition, const char* message);
void setInputName(const char* name);

}  // namespace FuzzEntries
