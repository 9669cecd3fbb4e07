// A data record of arbitrary content by catalogue name, as `smdhost decode`
// and `smdhost history` show it and the history store keeps it, with
// arbitrary --fields patterns.
//
// Input:  record bytes (1257, zero-padded) | --fields text (the rest)
//
// Properties: a pattern list is taken or refused naming a pattern; the JSON
// form parses and holds exactly the values shown; every CSV row has one cell
// per column; the text form has one line per value shown and per note.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <json/reader.h>
#include <json/value.h>

#include "tools/smdhost/records/record_values.hpp"

namespace {

void require(bool ok) {
    if (!ok) std::abort();
}

void check(const unsigned char* record, const std::vector<const smdcatalogue::ValueEntry*>& columns,
           bool all) {
    const smdrecords::RecordValues v = smdrecords::read_record(record, columns, all);
    require(v.values.size() == columns.size());
    std::size_t shown = 0;
    for (const smdrecords::NamedValue& n : v.values) shown += n.shown ? 1 : 0;
    require(!all || shown == columns.size());

    Json::Value doc;
    Json::CharReaderBuilder b;
    std::string errors;
    const std::string json = smdrecords::to_json(v);
    const std::unique_ptr<Json::CharReader> reader(b.newCharReader());
    require(reader->parse(json.data(), json.data() + json.size(), &doc, &errors));
    require(doc["values"].isObject() && doc["values"].size() == shown);
    require(doc["notes"].isArray() && doc["notes"].size() == v.notes.size());

    // Cells are numbers, "invalid", "nan", times: never quoted.
    const std::string cells = smdrecords::csv_cells(v);
    if (!columns.empty())
        require(static_cast<std::size_t>(std::count(cells.begin(), cells.end(), ',')) ==
                columns.size() - 1);

    const std::string text = smdrecords::to_text(v);
    require(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) ==
            shown + v.notes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    unsigned char record[smdrecords::kRecordSize] = {};
    const std::size_t n = std::min(size, smdrecords::kRecordSize);
    std::copy(data, data + n, record);
    const std::string patterns(reinterpret_cast<const char*>(data) + n, size - n);

    std::vector<const smdcatalogue::ValueEntry*> columns;
    std::string error;
    if (!smdrecords::select_columns(patterns, columns, error)) {
        require(error.rfind("--fields: '", 0) == 0);
        return 0;
    }
    check(record, columns, false);
    check(record, columns, true);
    return 0;
}
