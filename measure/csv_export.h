#pragma once
#include <vector>

#include "measure/measurement.h"

// Writes the CSV file: UTF-8 with a byte-order mark, CR LF after every line, a header and one
// row per measurement numbered from 1. True only when every byte reached the file and it closed
// cleanly; a partly written file is left as it is.
bool write_csv_file(const wchar_t* path, const std::vector<Measurement>& measurements);

// EXPORT CSV: asks for a file name, writes every measurement, reports the outcome.
void export_csv();
