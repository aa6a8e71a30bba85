#include "ui/RecordingTextFormat.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>

namespace {

// Making an ICU formatter costs far more than using one, and a list formats a date per card, so each thread keeps the
// formatter of the locale it last used.
icu::DateFormat* formatterFor(const QString& localeName) {
    thread_local QString cachedName;
    thread_local std::unique_ptr<icu::DateFormat> cached;
    if (!cached || cachedName != localeName) {
        cached.reset(icu::DateFormat::createDateTimeInstance(icu::DateFormat::kMedium, icu::DateFormat::kShort,
                                                             icu::Locale(localeName.toStdString().c_str())));
        cachedName = localeName;
    }
    return cached.get();
}

}  // namespace

QString RecordingTextFormat::dateText(const std::string& datetime) {
    // Exactly year-month-day, "T", hours:minutes:seconds: no zone designator, no fraction.
    // Date and time are read apart so that a wall time that the local zone skips still reads as the UTC it is.
    if (datetime.size() != 19 || datetime[10] != 'T') return {};
    const QString text = QString::fromStdString(datetime);
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
    if (!date.isValid() || !time.isValid()) return {};
    const QDateTime utc(date, time, QTimeZone::utc());

    icu::DateFormat* format = formatterFor(QLocale().name());
    if (!format) return utc.toLocalTime().toString(QLocale().dateTimeFormat(QLocale::ShortFormat));
    icu::UnicodeString formatted;
    format->format(static_cast<UDate>(utc.toMSecsSinceEpoch()), formatted);
    return QString(reinterpret_cast<const QChar*>(formatted.getBuffer()), formatted.length());
}

QString RecordingTextFormat::secondsText(std::int64_t milliseconds) {
    return QString::number(static_cast<double>(milliseconds) / 1000.0, 'f', 2) + QLatin1Char('s');
}

QString RecordingTextFormat::resultText(const RecordingMetadata& metadata) {
    const QString result = QString::fromStdString(metadata.result);
    if (metadata.recognitionFinished) {
        return result.isEmpty() ? QCoreApplication::translate("RecordingTextFormat", "No voice found in recording")
                                : result;
    }
    if (result.isEmpty()) {
        return QCoreApplication::translate("RecordingTextFormat", "Not transcribed: the recognition did not finish");
    }
    return QCoreApplication::translate("RecordingTextFormat", "Partly transcribed: the recognition did not finish") +
           QLatin1Char('\n') + result;
}

bool RecordingTextFormat::showsPlaceholder(const RecordingMetadata& metadata) { return metadata.result.empty(); }
