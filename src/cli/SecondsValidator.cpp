#include "CliCommands.h"

#include <QString>

CLI::Validator SecondsValidator(double low, double high)
{
    const std::string range =
        (QString::number(low, 'g', 12) + " to " + QString::number(high, 'g', 12)).toStdString();
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            double value = -1;
            const bool number = CLI::detail::lexical_cast(text, value);
            return number && value >= low && value <= high
                       ? std::string()
                       : "must be seconds from " + range + ", not '" + text + "'";
        },
        "", "seconds");
}
