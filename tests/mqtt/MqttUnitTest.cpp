// The bridge's pieces that need no broker: its options as `serve` reads them, and how inputs
// are offered by name.
#include "MqttOptions.h"
#include "MqttStateTopics.h"

#include <QJsonArray>
#include <gtest/gtest.h>

namespace {

struct BrokerCase {
    const char* url;
    const char* host;
    int port;
    bool tls;
};

class BrokerAddress : public testing::TestWithParam<BrokerCase> {};

TEST_P(BrokerAddress, IsReadWithTheSchemesDefaultPort)
{
    const BrokerCase& c = GetParam();
    MqttArguments given;
    given.url = c.url;
    given.id = "hall-1_b";
    QString error;
    const std::optional<MqttOptions> options = ReadMqttOptions(given, &error);
    ASSERT_TRUE(options) << error.toStdString();
    EXPECT_EQ(options->host.toStdString(), c.host);
    EXPECT_EQ(options->port, c.port);
    EXPECT_EQ(options->tls, c.tls);
    EXPECT_EQ(options->BaseTopic().toStdString(), "tavlo/hall-1_b");
}

INSTANTIATE_TEST_SUITE_P(
    Urls, BrokerAddress,
    testing::Values(BrokerCase{"mqtt://broker.lan", "broker.lan", 1883, false},
                    BrokerCase{"mqtt://10.0.0.2:1884", "10.0.0.2", 1884, false},
                    BrokerCase{"MQTTS://broker.lan/", "broker.lan", 8883, true},
                    BrokerCase{"mqtts://[::1]:8884", "::1", 8884, true}));

TEST(MqttOptions, DeviceKeyIsTheBaseTopicAsAnId)
{
    MqttOptions options;
    options.prefix = "venue/av.matrices";
    options.id = "hall1";
    EXPECT_EQ(options.DeviceKey().toStdString(), "venue_av_matrices_hall1");
    EXPECT_EQ(options.BaseTopic().toStdString(), "venue/av.matrices/hall1");
}

QJsonObject stateWithInputNames(const std::vector<QJsonValue>& names)
{
    QJsonArray inputs;
    for (const QJsonValue& name : names)
        inputs.append(QJsonObject{{"number", inputs.size() + 1}, {"name", name}});
    return {{"inputs", inputs}};
}

struct LabelCase {
    std::vector<QJsonValue> names;
    QStringList labels;
};

class InputLabel : public testing::TestWithParam<LabelCase> {};

TEST_P(InputLabel, IsUniqueAndNeverABareNumber)
{
    EXPECT_EQ(InputLabels(stateWithInputNames(GetParam().names)), GetParam().labels);
}

INSTANTIATE_TEST_SUITE_P(Names, InputLabel,
                         testing::Values(LabelCase{{"Blu-ray", "Laptop", "Camera", "PC"},
                                                   {"Blu-ray", "Laptop", "Camera", "PC"}},
                                         LabelCase{{"PC", "PC", "Camera", "pc"},
                                                   {"PC (1)", "PC (2)", "Camera", "pc"}},
                                         LabelCase{{"2", "", "Camera", QJsonValue::Null},
                                                   {"2 (1)", "Input 2", "Camera", "Input 4"}}));

} // namespace
