#include "language.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>

#include <algorithm>
#include <cstdio>

namespace vesk {

namespace {

// The name the installed translators carry, so that a later call finds and replaces them.
const QString TranslatorName = QStringLiteral("veskLanguage");

std::optional<Language> parseLanguage(const QString& value) {
    // "en", "en_US", "en-GB", "en_US.UTF-8" all name English.
    const QString trimmed = value.trimmed();
    const auto separator = std::find_if(trimmed.begin(), trimmed.end(), [](QChar c) {
        return c == u'_' || c == u'.' || c == u'@' || c == u'-';
    });
    const QString code = trimmed.left(separator - trimmed.begin());
    if (code.compare(QLatin1String("zh"), Qt::CaseInsensitive) == 0)
        return Language::Chinese;
    if (code.compare(QLatin1String("en"), Qt::CaseInsensitive) == 0)
        return Language::English;
    return std::nullopt;
}

} // namespace

Language chooseLanguage(const LanguageInputs& inputs, QString* warning) {
    const auto given = [](const QString& value) {
        return value.isEmpty() ? std::nullopt : std::optional(value);
    };
    const std::pair<const char*, std::optional<QString>> sources[] = {
        {"--lang", inputs.option},
        {"VESKPANEL_LANG", given(inputs.environment)},
        {"[ui] language", given(inputs.saved)}};
    for (const auto& [where, value] : sources) {
        if (!value)
            continue;
        if (const auto language = parseLanguage(*value))
            return *language;
        if (warning)
            *warning = QStringLiteral("%1 \"%2\": unknown language (zh or en); using Chinese")
                           .arg(QLatin1String(where), *value);
        return Language::Chinese;
    }
    return Language::Chinese;
}

Language chooseLanguage(const std::optional<QString>& option, const QString& settingsPath,
                        QString* warning) {
    LanguageInputs inputs;
    inputs.option = option;
    inputs.environment = qEnvironmentVariable("VESKPANEL_LANG");
    if (!option && inputs.environment.isEmpty()) {
        const QSettings settings(settingsPath, QSettings::IniFormat);
        inputs.saved = settings.value(QStringLiteral("ui/language")).toString();
    }
    return chooseLanguage(inputs, warning);
}

void useLanguage(QCoreApplication& app, Language language) {
    const auto installed =
        app.findChildren<QTranslator*>(TranslatorName, Qt::FindDirectChildrenOnly);
    for (QTranslator* translator : installed) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    const auto install = [&app](const QString& name, const QString& folder) {
        auto* translator = new QTranslator(&app);
        translator->setObjectName(TranslatorName);
        if (translator->load(name, folder)) {
            QCoreApplication::installTranslator(translator);
            return;
        }
        delete translator;
        std::fprintf(stderr, "%s/%s.qm: cannot be loaded\n", qPrintable(folder), qPrintable(name));
    };
    // Qt's own texts (the message boxes' buttons) are English without a translation.
    if (language == Language::Chinese)
        install(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    // The translations built into this program (the classic one lacks the multi-channel area's).
    const QString builtIn = QStringLiteral(":/i18n");
    const QString suffix =
        language == Language::English ? QStringLiteral("_en.qm") : QStringLiteral("_zh_CN.qm");
    // Filtered by hand: a name filter would compile a regular expression, a library's worth of
    // memory at start-up for one suffix.
    for (const QString& file : QDir(builtIn).entryList(QDir::Files))
        if (file.endsWith(suffix))
            install(file, builtIn);
}

} // namespace vesk
