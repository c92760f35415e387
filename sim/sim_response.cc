// "@FILE" words: the driver hands long option lists over in response files,
// which the real programs read in place of the word.
#include "sim.h"

#include <cstring>
#include <sys/stat.h>

#include "support/alloc.h"

// Every "@" word expanded uses one unit: a file that names itself would
// otherwise never end.
static const int response_file_budget = 1000;

static bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// White space separates words; a backslash takes the next character as it is;
// quotes group, and the end of the text closes an open quote.
static std::vector<std::string> split_words(const std::string &text) {
  std::vector<std::string> words;
  size_t i = 0, n = text.size();
  for (;;) {
    while (i < n && is_space(text[i])) i++;
    if (i == n) return words;
    std::string word;
    char quote = 0;
    while (i < n && (quote || !is_space(text[i]))) {
      char c = text[i++];
      if (c == '\\' && i < n)
        word += text[i++];
      else if (quote && c == quote)
        quote = 0;
      else if (!quote && (c == '\'' || c == '"'))
        quote = c;
      else
        word += c;
    }
    words.push_back(word);
  }
}

bool expand_response_files(const sim_run &run, std::vector<char *> &words) {
  int budget = response_file_budget;
  for (size_t i = 1; i < words.size();) {
    const char *word = words[i];
    struct stat st;
    if (word[0] != '@' || stat(word + 1, &st) != 0 || !S_ISREG(st.st_mode)) {
      i++;
      continue;
    }
    if (--budget < 0) {
      sim_error(run, "too many @-files");
      return false;
    }
    std::string text;
    if (!read_input(run, word + 1, text)) return false;
    std::vector<std::string> found = split_words(text);
    std::vector<char *> copies;
    // The words live as long as the run does.
    for (const std::string &one : found) copies.push_back(xstrdup(one.c_str()));
    words.erase(words.begin() + static_cast<long>(i));
    // The words now at i are looked at next: files may name files.
    words.insert(words.begin() + static_cast<long>(i), copies.begin(), copies.end());
  }
  return true;
}
