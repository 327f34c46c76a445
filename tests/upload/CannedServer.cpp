// The service tests' canned HTTP server, built into this program too: some
// answers (an empty "items", system info with only a password) are not
// among the stand-in service's faults.
#include "service/CannedHttpServer.cpp"  // NOLINT(bugprone-suspicious-include)
