// The consoles' language: Chinese, the console's own texts, unless English is asked for.
//
// The first of these that is given decides: the --lang option, $VESKPANEL_LANG, "language" under
// [ui] in the settings file both consoles share; otherwise Chinese. The system locale plays no
// part. Values are "zh" or "en" (a region such as en_US is allowed); any other value is reported
// in one line and Chinese is used.
#pragma once

#include <QString>

#include <optional>

class QCoreApplication;

namespace vesk {

enum class Language { Chinese, English };

struct LanguageInputs {
    std::optional<QString> option; // --lang, when given
    QString environment;           // $VESKPANEL_LANG, empty when unset
    QString saved;                 // [ui] language, empty when unset
};

// The rule above; `warning` receives the line for a value that is neither language.
Language chooseLanguage(const LanguageInputs& inputs, QString* warning = nullptr);
// The same, reading the environment and the settings file at `settingsPath`.
Language chooseLanguage(const std::optional<QString>& option, const QString& settingsPath,
                        QString* warning = nullptr);

// Installs the translations of `language` on the application, replacing those a previous call
// installed. Chinese: Qt's own texts (dialog buttons) and the port reasons the core states in
// English; English: the console's texts. Texts made before the call keep their language.
void useLanguage(QCoreApplication& app, Language language);

} // namespace vesk
