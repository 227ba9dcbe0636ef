// File: bench/bench_files.h - the settings files the benchmarks load, made in memory: realistic
// server files of a chosen size, and crafted files of the same size that aim at the parser's costs.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace recaster::bench {

// A whole server settings file as the server writes it (byte-order mark, declaration, CR LF lines),
// about `bytes` long: every group, with as many colour rules, e-mail alerts and forwarders (each with
// a filter over severities, facilities and text) and as long retention and backup-time lists as fill it.
std::string RealisticFile(std::size_t bytes);

// The realistic file's settings with no colour rule or alert and the most forwarders a list may hold
// (16384), each with its filter: what the reports spend per item.
std::string ForwardersFile();

// One crafted file: a short name for the table, and its bytes.
struct CraftedFile {
  std::string name;
  std::string bytes;
};

// The crafted files of about `bytes` each: deep nesting (refused at the depth limit), unclosed start
// tags, same-named siblings and empty elements (in lists of the longest length, refused at the element
// limit beyond a million), one huge attribute list, very long names, one text run without "<", and a
// few more shapes the tokenizer and the builder treat apart.
std::vector<CraftedFile> CraftedFiles(std::size_t bytes);

// A file aimed at the memory and time of whole commands, made when it is wanted (they are large).
struct HostileFile {
  std::string name;
  std::function<std::string()> make;
};

// Files of at most the size limit (64 MiB) that ask for the most memory per byte: millions of empty
// items in one list of group-shaped items, and the longest lists and most elements the loader accepts.
std::vector<HostileFile> HostileFiles();

// The files of the size limit that the limits of time and memory are measured on, besides the crafted
// files: the hostile files, a bind address of 32 million U+0001 with UDP and TCP on (about 400 MB of
// JSON escapes), the same of U+202E (each made visible as "<U+202E>"), one element of 2.8 million
// attributes inside a file that loads, and ForwardersFile.
std::vector<HostileFile> LimitFiles();

}  // namespace recaster::bench
