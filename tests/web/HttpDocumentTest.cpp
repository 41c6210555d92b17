// The page's endpoint in docs/api.md held to real exchanges: every documented HTTP example is
// sent as it stands, and its status and answer are compared with the documented ones, field by
// field and type by type (a state document is compared in its own test).
#include "ApiDocument.h"
#include "HttpExchange.h"
#include "ServerFixture.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <gtest/gtest.h>

namespace {

using namespace server_test;
using namespace web_test;

void needApplication()
{
    static int argc = 1;
    static char name[] = "http_document_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

QJsonObject withoutState(QJsonObject object)
{
    object.remove("state");
    return object;
}

QByteArray exampleRequest(const QJsonObject& example)
{
    const QByteArray method = example["method"].toString().toLatin1();
    const QByteArray path = example["path"].toString().toLatin1();
    if (!example.contains("body"))
        return Request(method, path);
    return JsonPost(path, example["body"].toObject()).replace(0, 4, method);
}

TEST(HttpDocument, everyExampleGetsItsDocumentedAnswer)
{
    needApplication();
    const std::string markdown = ReadApiDocument();
    ServerOptions options = TestOptions();
    options.http = true;
    ServerFixture f(options);
    ASSERT_TRUE(f.started()) << f.startError().toStdString();
    ASSERT_TRUE(f.waitAcquired());
    int examples = 0;
    for (const std::string& name : ExampleNames(markdown)) {
        if (name.rfind("http-", 0) != 0)
            continue;
        SCOPED_TRACE(name);
        ++examples;
        const QJsonObject example = DocumentExample(markdown, name).toObject();
        const HttpAnswer answer = HttpExchange(f.server->HttpPort()).send(exampleRequest(example));
        EXPECT_EQ(answer.status, example["status"].toInt());
        const QJsonObject documented = example["answer"].toObject();
        const QJsonObject produced = answer.json();
        EXPECT_EQ(produced["error"].toObject(), documented["error"].toObject());
        for (const std::string& difference :
             ShapeDifferences(withoutState(documented), withoutState(produced)))
            ADD_FAILURE() << difference;
        EXPECT_EQ(produced.contains("state"), documented.contains("state"));
    }
    EXPECT_GE(examples, 7);
}

} // namespace
