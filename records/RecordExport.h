#pragma once
// The board records as files other tools read: CSV (RFC 4180: a header row, CRLF line
// ends, fields quoted where they must be) and JSON (an array of objects), both valid
// UTF-8 whatever the rows hold. The avrdude runs are one CSV field (a line per run, its
// output indented below it) and in JSON an array of {command_line, exit_code, output}.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "records/RecordStore.h"

namespace tq9 {

// Objects keep their fields in the order they were set, so a person reads them as the
// columns go.
using Json = nlohmann::ordered_json;

// The columns, in order, as both formats name them. Rows read from the line's server
// (`line`) have a "bench" column after the id, which is then the row's id at its bench.
std::vector<std::string> RecordColumns(bool line = false);
std::string RecordsAsCsv(const std::vector<OperationRecord>& records, bool line = false);
std::string RecordsAsJson(const std::vector<OperationRecord>& records, bool line = false);
// One record as JSON: every column, numbers as numbers (null when unknown), the avrdude
// runs as an array; "bench" when the row came from the line's server. The one shape of a
// record wherever JSON shows one.
Json RecordJson(const OperationRecord& record);
// A JSON value as one line of text; bytes that are not UTF-8 become U+FFFD.
std::string JsonLine(const Json& value);
// A record's full text for the operator: every field, the avrdude runs, the probe log
// and the console lines.
std::string RecordDetail(const OperationRecord& record);

}  // namespace tq9
