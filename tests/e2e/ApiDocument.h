#pragma once
// Reads docs/api.md the way a test holds it to the code: the examples marked
// `<!-- example: NAME -->` and the fields named in a section's tables, compared with documents
// the programs really produced.
#include <QJsonValue>
#include <set>
#include <string>
#include <vector>

// docs/api.md of the source tree.
std::string ReadApiDocument();

// The names of the examples, in the order they stand.
std::vector<std::string> ExampleNames(const std::string& markdown);

// The JSON in the first ```json block after the marker; Null (and a failed test) when missing
// or not JSON.
QJsonValue DocumentExample(const std::string& markdown, const std::string& name);

// The first cells, when written as `code`, of the table rows under the "## heading", up to the
// next "## " heading.
std::set<std::string> DocumentedNames(const std::string& markdown, const std::string& heading);

// Every field's path in the document: object keys joined by dots, entries of an array of
// objects as "[]" ("inputs[].edid.mode"); an array of plain values is one field.
std::set<std::string> FieldPaths(const QJsonValue& document);

// Where the two documents differ in their fields or in the JSON type of a value, one line each
// ("inputs[].edid.source: number documented, text produced"). Each entry of an array is compared
// with the documented entry at its place, or with the first one when the example has fewer.
std::vector<std::string> ShapeDifferences(const QJsonValue& documented, const QJsonValue& produced);
