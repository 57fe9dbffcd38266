#pragma once
#include <vector>

#include "measure/measurement.h"

// Writes the CSV file: UTF-8 with a byte-order mark, CR LF after every line, a header and one
// row per measurement numbered from 1. The file at path is replaced only by a complete one: true
// when every byte reached the disk and the new file took its place; on false the path and its
// folder are as they were.
bool write_csv_file(const wchar_t* path, const std::vector<Measurement>& measurements);

// EXPORT CSV: asks for a file name, writes every measurement, reports the outcome.
void export_csv();
