// Declarations of the 83 exports, expanded from the export table, so that every export's
// definition must match its row exactly.
#pragma once

#include "skf_types.h"

#define SKF_API extern "C" __declspec(dllexport)

#define SKF_EXPORT(name, family, widths, params, args) SKF_API ULONG WINAPI name params;
#include "skf_export_table.h"
