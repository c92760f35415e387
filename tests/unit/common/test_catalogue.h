// A message catalogue made on the spot, for tests of translated output.
#pragma once

#include <map>
#include <string>

// Writes ENTRIES (original text to translation; the "" key is the header) as
// DIR/C.UTF-8/LC_MESSAGES/quarn.mo in the GNU .mo format, without a hash table.
bool write_test_catalogue(const std::string &dir,
                          const std::map<std::string, std::string> &entries);
