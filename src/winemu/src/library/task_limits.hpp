// task_limits.hpp: the bounds on what the service reads, parses and starts.
#pragma once

/* === Why these numbers ===
 * Every bound is far above anything the task schema lets a definition hold, and low enough that
 * the work done for the largest accepted input stays small and linear in its size. A definition
 * that Windows itself writes is a few kilobytes, has at most three attributes per element, one
 * namespace, a depth of six, and at most 32 actions (the service's own limit). */

#include <cstddef>

namespace winemu {

// The UTF-8 bytes of one definition.
inline constexpr std::size_t largest_definition = std::size_t{1} << 20;
// A security descriptor's SDDL: far above the few hundred bytes of a DACL of a dozen ACEs.
inline constexpr std::size_t largest_security_descriptor = std::size_t{64} << 10;
// A task's file: the definition, and before it the path line (260 UTF-16 units, 3 bytes each)
// and the descriptor's line.
inline constexpr std::size_t largest_task_file = largest_definition + 1024 + largest_security_descriptor;
// A folder's spelling file: one element of at most 255 UTF-16 units.
inline constexpr std::size_t largest_spelling_file = 1024;
// The part of a task's start records that is read back: the newest records, as many as fit.
inline constexpr std::size_t largest_records_read = std::size_t{1} << 20;
// A task's start records are kept to a bounded history, as Windows keeps one: past
// records_trimmed_at bytes (some 2,000 records) they are cut to their newest records_kept bytes.
inline constexpr std::size_t records_trimmed_at = largest_records_read;
inline constexpr std::size_t records_kept = largest_records_read / 2;

// Attributes (namespace declarations included) of one element.
inline constexpr std::size_t most_attributes_per_element = 256;
// Namespace declarations in one document: each one in scope lengthens every prefix lookup.
inline constexpr std::size_t most_namespace_declarations = 256;
// Actions of one task, as Windows allows.
inline constexpr std::size_t most_actions = 32;

}  // namespace winemu
