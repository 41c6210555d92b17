#include "ApiDocument.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {

std::string join(const std::string& path, const std::string& key)
{
    return path.empty() ? key : path + "." + key;
}

const char* typeName(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return "null";
    case QJsonValue::Bool:
        return "boolean";
    case QJsonValue::Double:
        return "number";
    case QJsonValue::String:
        return "text";
    case QJsonValue::Array:
        return "array";
    case QJsonValue::Object:
        return "object";
    default:
        return "nothing";
    }
}

void collectPaths(const QJsonValue& value, const std::string& path, std::set<std::string>& paths)
{
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            const std::string field = join(path, it.key().toStdString());
            paths.insert(field);
            collectPaths(*it, field, paths);
        }
    }
    if (value.isArray()) {
        for (const QJsonValue& entry : value.toArray()) {
            if (entry.isObject() || entry.isArray())
                collectPaths(entry, path + "[]", paths);
        }
    }
}

void compare(const QJsonValue& documented, const QJsonValue& produced, const std::string& path,
             std::vector<std::string>& differences)
{
    if (documented.type() != produced.type()) {
        differences.push_back((path.empty() ? "the document" : path) + ": " + typeName(documented) +
                              " documented, " + typeName(produced) + " produced");
        return;
    }
    if (documented.isObject()) {
        const QJsonObject doc = documented.toObject();
        const QJsonObject out = produced.toObject();
        for (auto it = doc.begin(); it != doc.end(); ++it)
            compare(*it, out.value(it.key()), join(path, it.key().toStdString()), differences);
        for (auto it = out.begin(); it != out.end(); ++it) {
            if (!doc.contains(it.key()))
                differences.push_back(join(path, it.key().toStdString()) +
                                      ": produced, not documented");
        }
    }
    if (documented.isArray() && !documented.toArray().isEmpty()) {
        const QJsonArray doc = documented.toArray();
        const QJsonArray out = produced.toArray();
        for (qsizetype i = 0; i < out.size(); ++i)
            compare(doc.at(std::min(i, doc.size() - 1)), out.at(i), path + "[]", differences);
    }
}

} // namespace

std::string ReadApiDocument()
{
    std::ifstream file(std::string(TAVLO_SOURCE_DIR) + "/docs/api.md");
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_FALSE(text.str().empty()) << "docs/api.md not found";
    return text.str();
}

std::vector<std::string> ExampleNames(const std::string& markdown)
{
    const std::string marker = "<!-- example: ";
    std::vector<std::string> names;
    for (size_t at = markdown.find(marker); at != std::string::npos;
         at = markdown.find(marker, at + 1)) {
        const size_t start = at + marker.size();
        names.push_back(markdown.substr(start, markdown.find(" -->", start) - start));
    }
    return names;
}

QJsonValue DocumentExample(const std::string& markdown, const std::string& name)
{
    const size_t marker = markdown.find("<!-- example: " + name + " -->");
    const size_t fence = markdown.find("```json\n", marker);
    const size_t end = markdown.find("\n```", fence + 1);
    if (marker == std::string::npos || fence == std::string::npos || end == std::string::npos) {
        ADD_FAILURE() << "no example '" << name << "' in docs/api.md";
        return {};
    }
    const size_t start = fence + 8;
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(
        QByteArray::fromStdString(markdown.substr(start, end - start)), &error);
    if (error.error != QJsonParseError::NoError) {
        ADD_FAILURE() << "example '" << name << "': " << error.errorString().toStdString();
        return {};
    }
    return json.isObject() ? QJsonValue(json.object()) : QJsonValue(json.array());
}

std::set<std::string> DocumentedNames(const std::string& markdown, const std::string& heading)
{
    std::set<std::string> names;
    const size_t start = markdown.find("\n## " + heading + "\n");
    if (start == std::string::npos) {
        ADD_FAILURE() << "no section '" << heading << "' in docs/api.md";
        return names;
    }
    const size_t end = markdown.find("\n## ", start + 1);
    std::istringstream section(markdown.substr(start, end - start));
    for (std::string line; std::getline(section, line);) {
        if (line.rfind("| `", 0) != 0)
            continue;
        const size_t close = line.find('`', 3);
        names.insert(line.substr(3, close - 3));
    }
    return names;
}

std::set<std::string> FieldPaths(const QJsonValue& document)
{
    std::set<std::string> paths;
    collectPaths(document, "", paths);
    return paths;
}

std::vector<std::string> ShapeDifferences(const QJsonValue& documented, const QJsonValue& produced)
{
    std::vector<std::string> differences;
    compare(documented, produced, "", differences);
    return differences;
}
