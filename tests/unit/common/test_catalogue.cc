#include "common/test_catalogue.h"

#include <cstdint>
#include <cstdio>
#include <sys/stat.h>
#include <vector>

bool write_test_catalogue(const std::string &dir,
                          const std::map<std::string, std::string> &entries) {
  std::string messages = dir + "/C.UTF-8/LC_MESSAGES";
  mkdir((dir + "/C.UTF-8").c_str(), 0755);
  mkdir(messages.c_str(), 0755);
  const uint32_t count = static_cast<uint32_t>(entries.size());
  const uint32_t header_size = 28;
  std::vector<uint32_t> words = {0x950412de, 0, count, header_size, header_size + 8 * count, 0, 0};
  std::vector<uint32_t> originals, translations;
  std::string strings;
  const uint32_t strings_start = header_size + 16 * count;
  // The map keeps the keys sorted, which the lookup's binary search needs.
  for (const auto &entry : entries) {
    originals.push_back(static_cast<uint32_t>(entry.first.size()));
    originals.push_back(strings_start + static_cast<uint32_t>(strings.size()));
    strings += entry.first + '\0';
  }
  for (const auto &entry : entries) {
    translations.push_back(static_cast<uint32_t>(entry.second.size()));
    translations.push_back(strings_start + static_cast<uint32_t>(strings.size()));
    strings += entry.second + '\0';
  }
  FILE *file = fopen((messages + "/quarn.mo").c_str(), "wb");
  if (!file)
    return false;
  fwrite(words.data(), 4, words.size(), file);
  fwrite(originals.data(), 4, originals.size(), file);
  fwrite(translations.data(), 4, translations.size(), file);
  fwrite(strings.data(), 1, strings.size(), file);
  return fclose(file) == 0;
}
