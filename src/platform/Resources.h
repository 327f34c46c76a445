#pragma once

// The compiled-in resources (string table, entitlements, scripting
// definition, images) live in a static library, whose registration the
// linker would drop unless something refers to it. Everything that reads a
// ":/" path calls ensureLoaded() first; it is cheap after the first call.
class Resources {
  public:
    static void ensureLoaded();
};
