#pragma once

// EXPORT CSV: asks for a file name, writes every measurement, reports the outcome.
void export_csv();
