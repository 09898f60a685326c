// stored_definition.hpp: reads the definition file the service keeps for a task in the root folder,
// so that the driver can tell which definition a registration left behind.
#pragma once

#include <string_view>

// True when the service's file for the task holds the ASCII marker, in UTF-8 (Wine's schedsvc) or
// UTF-16LE (Windows). False when the file cannot be read.
bool stored_definition_contains(std::wstring_view task_name, std::string_view marker);
