// The bridge's pieces that need no broker: its options as `serve` reads them, and how inputs
// are offered by name.
#include "MqttOptions.h"
#include "Refusal.h"
#include "SelectOptions.h"

#include <QJsonArray>
#include <gtest/gtest.h>
#include <set>

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

struct KeyCase {
    const char* prefix;
    const char* id;
    const char* key;
};

class DeviceKey : public testing::TestWithParam<KeyCase> {};

TEST_P(DeviceKey, SpellsThePrefixOutBeforeTheId)
{
    MqttOptions options;
    options.prefix = QString::fromUtf8(GetParam().prefix);
    options.id = GetParam().id;
    EXPECT_EQ(options.DeviceKey().toStdString(), GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, DeviceKey,
    testing::Values(KeyCase{"tavlo", "hall1", "tavlo_hall1"}, KeyCase{"tavlo", "x_y", "tavlo_x_y"},
                    KeyCase{"tavlo/x", "y", "tavlo-2Fx_y"},
                    KeyCase{"venue/av.matrices", "hall-1", "venue-2Fav-2Ematrices_hall-1"},
                    KeyCase{"a_b-c", "d", "a-5Fb-2Dc_d"},
                    KeyCase{"B\xC3\xBChne", "1", "B-C3-BChne_1"}));

// Every pair from small sets of awkward prefixes and ids gets a key of its own, made of the
// characters Home Assistant allows in a discovery node id.
TEST(DeviceKeys, NeverMeetForDifferentPairs)
{
    const char* prefixes[] = {"a",   "a/b", "a_b", "a-b", "a-2Fb", "a/b_c", "a/b/c",
                              "a.b", "a-",  "a/-", "-2F", "a_",    "A"};
    const char* ids[] = {"b", "b_c", "c", "2Fb", "-", "_", "b-c", "_b", "A_b"};
    std::map<QString, std::pair<QString, QString>> seen;
    for (const char* prefix : prefixes) {
        for (const char* id : ids) {
            MqttOptions options;
            options.prefix = prefix;
            options.id = id;
            const QString key = options.DeviceKey();
            EXPECT_TRUE(std::all_of(key.begin(), key.end(), [](QChar c) {
                return c.isLetterOrNumber() || c == '-' || c == '_';
            })) << key.toStdString();
            const auto [it, fresh] = seen.emplace(key, std::pair<QString, QString>{prefix, id});
            EXPECT_TRUE(fresh) << key.toStdString() << " for " << prefix << " " << id << " and "
                               << it->second.first.toStdString() << " "
                               << it->second.second.toStdString();
        }
    }
}

QJsonObject stateWithInputNames(const QStringList& names)
{
    QJsonArray inputs;
    for (const QString& name : names)
        inputs.append(QJsonObject{{"number", inputs.size() + 1}, {"name", name}});
    return {{"inputs", inputs}};
}

struct OptionCase {
    QStringList names;
    QStringList options;
};

class InputOption : public testing::TestWithParam<OptionCase> {};

TEST_P(InputOption, IsTheNameOrToldApartByItsInput)
{
    EXPECT_EQ(InputOptionTexts(GetParam().names), GetParam().options);
}

INSTANTIATE_TEST_SUITE_P(
    Names, InputOption,
    testing::Values(
        OptionCase{{"Blu-ray", "Laptop", "Camera", "PC"}, {"Blu-ray", "Laptop", "Camera", "PC"}},
        OptionCase{{"PC", "PC", "Camera", "pc"}, {"PC (In 1)", "PC (In 2)", "Camera", "pc"}},
        OptionCase{{"2", "", "Camera", ""}, {"2 (In 1)", "Input 2", "Camera", "Input 4"}},
        OptionCase{{"Cam", "Cam", "Cam (In 2)", "X"},
                   {"Cam (In 1)", "Cam (In 2)", "Cam (In 2) (In 3)", "X"}},
        OptionCase{{"", "Input 1", "None", " 3"},
                   {"Input 1", "Input 1 (In 2)", "None (In 3)", "3 (In 4)"}},
        OptionCase{{" Camera ", "nOnE", "Camera", "Input 4"},
                   {"Camera (In 1)", "nOnE (In 2)", "Camera (In 3)", "Input 4"}}));

// Every set of four names drawn from awkward ones: the options are what Home Assistant can
// use, and each reads back as its own input, as does each input's number.
TEST(InputOptions, AreUsableAndReadBackForEveryMixOfNames)
{
    const QStringList pool = {"",     "Cam",     "Cam (In 2)",     "Cam (In 1)", "3",    "None",
                              " Cam", "Input 2", "Input 1 (In 2)", "4 (In 1)",   "none "};
    const qsizetype size = pool.size();
    for (qsizetype pick = 0; pick < size * size * size * size; ++pick) {
        QStringList names;
        for (qsizetype rest = pick, k = 0; k < 4; ++k, rest /= size)
            names.append(pool[rest % size]);
        const SelectOptions options = InputOptions(stateWithInputNames(names));
        const QJsonArray texts = options.Texts();
        std::set<QString> distinct;
        for (int n = 1; n <= 4; ++n) {
            const QString text = texts[n - 1].toString();
            SCOPED_TRACE(names.join('|').toStdString() + " -> " + text.toStdString());
            distinct.insert(text);
            EXPECT_EQ(text, text.trimmed());
            EXPECT_FALSE(text.isEmpty());
            EXPECT_NE(text.toLower(), "none");
            EXPECT_EQ(options.TextOf(n), text);
            EXPECT_EQ(options.Read(text.toStdString()), n);
            EXPECT_EQ(options.Read(std::to_string(n)), n);
        }
        EXPECT_EQ(distinct.size(), 4u) << names.join('|').toStdString();
    }
}

// Beyond its own texts a select reads what tavloctl route and the JSON API read.
TEST(InputOptions, ReadNamesAsEveryFrontEndDoes)
{
    const SelectOptions options =
        InputOptions(stateWithInputNames({"Camera", "PC", "pc", "Laptop"}));
    const std::pair<const char*, int> reads[] = {
        {"camera", 1}, {"LAPTOP", 4}, {"PC", 2}, {"pc", 3}, {"2", 2}};
    for (const auto& [word, input] : reads)
        EXPECT_EQ(options.Read(word), input) << word;
    EXPECT_THROW(options.Read("Pc"), Refusal) << "names two inputs once case is ignored";
}

TEST(InputOptions, RefuseAnythingElseNamingTheOptions)
{
    const SelectOptions options = InputOptions(stateWithInputNames({"A", "B", "C", "D"}));
    try {
        options.Read("E");
        ADD_FAILURE() << "read 'E'";
    } catch (const Refusal& refusal) {
        EXPECT_NE(refusal.message.find("not 'E'"), std::string::npos) << refusal.message;
        EXPECT_NE(refusal.message.find("nor one of the options: A, B, C, D"), std::string::npos)
            << refusal.message;
    }
}

TEST(AudioModeOptions, AreWordsAndTakeTheCommandsWordsToo)
{
    const SelectOptions modes = AudioModeOptions();
    EXPECT_EQ(modes.Texts(), (QJsonArray{"Off", "HDMI", "Analog"}));
    const std::pair<const char*, int> reads[] = {{"Off", 0}, {"HDMI", 1}, {"Analog", 2},
                                                 {"off", 0}, {"h", 1},    {"A", 2}};
    for (const auto& [word, mode] : reads)
        EXPECT_EQ(modes.Read(word), mode) << word;
    EXPECT_THROW(modes.Read("hdmi2"), Refusal);
}

} // namespace
