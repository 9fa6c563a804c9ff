// --list: what each file holds, printed instead of converting it.
#pragma once

#include <string>

#include "app/program.h"

enum class ListForm { None, Lines, Json };

// Lists one job into its report: tab-separated lines, or the head of its
// JSON object (jsonResult ends it). False, having said why, as a
// conversion would fail.
bool listJob(const Job& job, const Program& program, ListForm form);
// The JSON object of a listed job, with its result and the reasons of a failure.
std::string jsonResult(const Job& job);
// What a JSON document of a listing starts and ends with.
extern const char* const kJsonListStart;
extern const char* const kJsonListEnd;
