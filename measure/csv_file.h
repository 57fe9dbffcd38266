#pragma once
#include <vector>

#include "measure/measurement.h"

// Writes the CSV file: UTF-8 with a byte-order mark, CR LF after every line, a header and one
// row per measurement numbered from 1, safely (measure/safe_file.h): true when the file at path
// is the new one, complete.
bool write_csv_file(const wchar_t* path, const std::vector<Measurement>& measurements);
