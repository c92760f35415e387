// The named-spec list: the built-in entries bound to their program-wide
// slots, entries made by spec files in front of them, and the link command.
#include "specs/spec_store.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "diagnostics/diagnostic.h"
#include "options/opts.h"
#include "support/alloc.h"

named_spec *spec_list;
const char *link_command_spec = builtin_link_command_text;
static bool link_command_owned = false;

// Bound to their slots from the start, so set_static_spec finds them even
// before the list is linked.
static named_spec builtin_entries[BUILTIN_SPEC_COUNT];
static named_spec asm_cpu_entry;

static void bind_builtin_entries() {
  if (builtin_entries[0].slot)
    return;
  for (int i = 0; i < BUILTIN_SPEC_COUNT; i++) {
    named_spec &entry = builtin_entries[i];
    entry.name = builtin_spec_names[i];
    entry.name_len = strlen(entry.name);
    entry.slot = &builtin_spec_slots[i];
    entry.next = i + 1 < BUILTIN_SPEC_COUNT ? &builtin_entries[i + 1] : nullptr;
  }
}

static void link_builtin_entries() {
  bind_builtin_entries();
  spec_list = &builtin_entries[0];
}

named_spec *lookup_spec(const char *name, size_t length) {
  for (named_spec *entry = spec_list; entry; entry = entry->next)
    if (entry->name_len == length && memcmp(entry->name, name, length) == 0)
      return entry;
  return nullptr;
}

const char *spec_text(const char *name, size_t length) {
  named_spec *entry = lookup_spec(name, length);
  return entry ? *entry->slot : nullptr;
}

static void replace_text(named_spec *entry, const char *text, bool owned) {
  if (entry->owned)
    free(const_cast<char *>(*entry->slot));
  *entry->slot = text;
  entry->owned = owned;
}

static bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void define_spec(const char *name, const char *text, bool from_user_file) {
  if (!spec_list)
    link_builtin_entries();
  size_t length = strlen(name);
  named_spec *entry = lookup_spec(name, length);
  if (!entry) {
    entry = static_cast<named_spec *>(xcalloc(1, sizeof(named_spec)));
    entry->name = xstrdup(name);
    entry->name_len = length;
    entry->slot = &entry->text;
    entry->text = "";
    entry->next = spec_list;
    spec_list = entry;
  }
  const char *old = *entry->slot ? *entry->slot : "";
  char *updated = text[0] == '+' && is_blank(text[1]) ? concat(old, text + 1) : xstrdup(text);
  replace_text(entry, updated, true);
  entry->from_user_file = from_user_file;
}

void set_static_spec(const char **slot, const char *text, bool owned) {
  if (slot < &builtin_spec_slots[0] || slot >= &builtin_spec_slots[BUILTIN_SPEC_COUNT])
    quarn_unreachable();
  bind_builtin_entries();
  replace_text(&builtin_entries[slot - &builtin_spec_slots[0]], text, owned);
}

// C(S, E): the static form with E, else the shared support library, linked
// only as needed unless -shared-libquarn asks for it outright.
static std::string libquarn_choice(const char *s, const char *e) {
  return std::string("%{static|static-libquarn|static-pie:") + s + " " + e +
         "}%{!static:%{!static-libquarn:%{!static-pie:%{!shared-libquarn:" + s +
         " --push-state --as-needed -lquarn_s --pop-state}%{shared-libquarn:-lquarn_s%{!shared: " +
         s + "}}}}}";
}

static const char *rewrite_libquarn(const char *text) {
  static const struct {
    const char *token;
    const char *eh_form;
  } rewrites[] = {{"-lquarn", "-lquarn_eh"}, {"libquarn.a%s", "libquarn_eh.a%s"}};
  std::string result;
  for (const char *p = text; *p;) {
    bool replaced = false;
    if (p == text || p[-1] == ' ')
      for (const auto &rewrite : rewrites) {
        size_t length = strlen(rewrite.token);
        if (strncmp(p, rewrite.token, length) == 0) {
          result += libquarn_choice(rewrite.token, rewrite.eh_form);
          p += length;
          replaced = true;
          break;
        }
      }
    if (!replaced)
      result += *p++;
  }
  return xstrdup(result.c_str());
}

void init_builtin_specs() {
  if (spec_list)
    return;
  if (global_options.verbose_flag)
    notice_to_stream(stderr, "Using built-in specs.\n");

  link_builtin_entries();
  asm_cpu_entry.name = "asm_cpu_spec";
  asm_cpu_entry.name_len = strlen(asm_cpu_entry.name);
  asm_cpu_entry.slot = &asm_cpu_entry.text;
  asm_cpu_entry.text = asm_cpu_spec_text;
  asm_cpu_entry.next = nullptr;
  builtin_entries[BUILTIN_SPEC_COUNT - 1].next = &asm_cpu_entry;

  set_static_spec(&builtin_spec_slots[BUILTIN_SPEC_libquarn],
                  rewrite_libquarn(builtin_spec_slots[BUILTIN_SPEC_libquarn]), true);
  set_static_spec(&builtin_spec_slots[BUILTIN_SPEC_link],
                  concat("%{!static|static-pie:--eh-frame-hdr} ", builtin_spec_slots[BUILTIN_SPEC_link]),
                  true);
}

void set_link_command(const char *text) {
  if (link_command_owned)
    free(const_cast<char *>(link_command_spec));
  link_command_spec = xstrdup(text);
  link_command_owned = true;
}

void print_specs() {
  init_builtin_specs();
  for (named_spec *entry = spec_list; entry; entry = entry->next)
    printf("*%s:\n%s\n\n", entry->name, *entry->slot ? *entry->slot : "");
  if (link_command_spec)
    printf("*link_command:\n%s\n\n", link_command_spec);
  fflush(stdout);
}

void reset_spec_store() {
  while (spec_list) {
    named_spec *entry = spec_list;
    spec_list = entry->next;
    if (entry->owned)
      free(const_cast<char *>(*entry->slot));
    entry->owned = false;
    entry->next = nullptr;
    if (entry->slot == &entry->text) {
      if (entry != &asm_cpu_entry) {
        free(const_cast<char *>(entry->name));
        free(entry);
      }
    }
  }
  for (int i = 0; i < BUILTIN_SPEC_COUNT; i++) {
    if (builtin_entries[i].owned)
      free(const_cast<char *>(builtin_spec_slots[i]));
    builtin_entries[i].owned = false;
    builtin_entries[i].from_user_file = false;
    builtin_spec_slots[i] = builtin_spec_texts[i];
  }
  builtin_entries[0].slot = nullptr;
  asm_cpu_entry = named_spec();
  if (link_command_owned)
    free(const_cast<char *>(link_command_spec));
  link_command_owned = false;
  link_command_spec = builtin_link_command_text;
}
