#include "Duvidu/DuviduCrashReportConverter.h"

#include <chrono>
#include <cmath>
#include <deque>
#include <map>

#include "Duvidu/DuviduCrashStackEntryMapper.h"
#include "Duvidu/DuviduDebugImageProvider.h"
#include "Duvidu/DuviduStacktraceBuilder.h"
#include "DuviduCrash/Reporting/DuviduCrashImageSymbols.h"

namespace duvidu {

namespace {

const Value* member(const Value::Object* object, const std::string& key)
{
    if (!object) return nullptr;
    auto it = object->find(key);
    return it == object->end() ? nullptr : &it->second;
}

const Value::Object* objectAt(const Value::Object* object, const std::string& key)
{
    auto value = member(object, key);
    return value ? value->asObject() : nullptr;
}

const Value::Array* arrayAt(const Value::Object* object, const std::string& key)
{
    auto value = member(object, key);
    return value ? value->asArray() : nullptr;
}

std::optional<std::string> stringAt(const Value::Object* object, const std::string& key)
{
    auto value = member(object, key);
    auto text = value ? value->asString() : nullptr;
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

std::optional<uint64_t> unsignedAt(const Value::Object* object, const std::string& key)
{
    uint64_t number = 0;
    auto value = member(object, key);
    return value && value->numberAsUInt64(number) ? std::optional<uint64_t>(number) : std::nullopt;
}

std::optional<int64_t> integerAt(const Value::Object* object, const std::string& key)
{
    int64_t number = 0;
    auto value = member(object, key);
    return value && value->numberAsInt64(number) ? std::optional<int64_t>(number) : std::nullopt;
}

bool boolAt(const Value::Object* object, const std::string& key)
{
    auto value = member(object, key);
    return value && value->asBool() && *value->asBool();
}

// One loaded image as the report recorded it, with the symbols of its file when the file is still the same.
struct ReportImage {
    DuviduCrashBinaryImage record;
    std::string path;
    std::optional<std::string> buildId;
    uint8_t uuid[16] = {};
    std::shared_ptr<const DuviduCrashImageSymbols> symbols;
    bool symbolsLoaded = false;
};

bool parseBuildId(const std::string& text, uint8_t (&bytes)[16])
{
    if (text.size() != 32) return false;
    for (size_t i = 0; i < 16; ++i) {
        unsigned value = 0;
        for (size_t k = 0; k < 2; ++k) {
            const char c = text[2 * i + k];
            const int nibble = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (nibble < 0) return false;
            value = value << 4 | static_cast<unsigned>(nibble);
        }
        bytes[i] = static_cast<uint8_t>(value);
    }
    return true;
}

std::deque<ReportImage> readImages(const Value::Array* images)
{
    std::deque<ReportImage> result;  // a deque: the records point into their own elements
    for (const auto& value : images ? *images : Value::Array{}) {
        const Value::Object* image = value.asObject();
        ReportImage& entry = result.emplace_back();
        entry.path = stringAt(image, "path").value_or("");
        entry.buildId = stringAt(image, "build_id");
        entry.record.address = unsignedAt(image, "address").value_or(0);
        entry.record.vmAddress = unsignedAt(image, "vmaddr").value_or(0);
        entry.record.size = unsignedAt(image, "size").value_or(0);
        entry.record.name = entry.path.empty() ? nullptr : entry.path.c_str();
        if (entry.buildId && parseBuildId(*entry.buildId, entry.uuid)) entry.record.uuid = entry.uuid;
    }
    return result;
}

const DuviduCrashImageSymbols* symbolsOf(ReportImage& image)
{
    if (!image.symbolsLoaded) {
        image.symbolsLoaded = true;
        if (!image.path.empty() && image.buildId)
            image.symbols = DuviduCrashImageSymbols::shared(image.path, *image.buildId);
    }
    return image.symbols.get();
}

// The crashed thread's stack: each address with its image and, where the image file allows, its function.
DuviduStacktrace crashedStacktrace(const Value::Object* backtrace, std::deque<ReportImage>& images,
                                   const std::shared_ptr<const DuviduInAppLogic>& inAppLogic)
{
    const bool firstExact = boolAt(backtrace, "first_exact");
    std::vector<DuviduCrashStackEntry> entries;
    const Value::Array* frames = arrayAt(backtrace, "frames");
    for (const auto& value : frames ? *frames : Value::Array{}) {
        const Value::Object* frame = value.asObject();
        DuviduCrashStackEntry entry{};
        entry.address = unsignedAt(frame, "address").value_or(0);
        auto index = integerAt(frame, "image");
        auto offset = unsignedAt(frame, "offset");
        if (index && offset && *index >= 0 && static_cast<size_t>(*index) < images.size()) {
            ReportImage& image = images[static_cast<size_t>(*index)];
            entry.imageName = image.record.name;
            entry.imageAddress = image.record.address;
            // A return address points just past its call, which may already be the next function.
            const bool exact = entries.empty() && firstExact;
            const uint64_t lookup = (exact || *offset == 0 ? *offset : *offset - 1) + image.record.vmAddress;
            if (auto symbols = symbolsOf(image)) {
                if (auto symbol = symbols->symbolContaining(lookup)) {
                    entry.symbolName = symbol->name;
                    entry.symbolAddress = image.record.address + (symbol->address - image.record.vmAddress);
                }
            }
        }
        entries.push_back(entry);
    }
    DuviduStacktraceBuilder builder(std::make_shared<DuviduCrashStackEntryMapper>(inAppLogic));
    DuviduStacktrace stacktrace = builder.buildStackTraceFromStackEntries(entries.data(), entries.size());
    // An address in no image (a jump to nowhere) keeps only its own address; one in no known function has no
    // function start.
    for (auto& frame : stacktrace.frames) {
        if (!frame.package) frame.imageAddress.reset();
        if (frame.symbolAddress == DuviduCrashStackEntryMapper::formatAddress(0)) frame.symbolAddress.reset();
    }
    return stacktrace;
}

std::string exceptionValue(const Value::Object* crash, const Value::Object* signal)
{
    const auto number = integerAt(signal, "number").value_or(0);
    std::string value = stringAt(signal, "name").value_or("Signal " + std::to_string(number));
    if (auto codeName = stringAt(signal, "code_name")) value += " / " + *codeName;
    const uint64_t address = unsignedAt(crash, "address").value_or(0);
    if (address != 0) value += " at " + DuviduCrashStackEntryMapper::formatAddress(address);
    return value;
}

DuviduException exceptionOf(const Value::Object* crash, std::optional<int64_t> crashedThread)
{
    const Value::Object* signal = objectAt(crash, "signal");
    const bool isCpp = stringAt(crash, "type") == "cpp_exception";
    const Value::Object* cpp = objectAt(crash, "cpp_exception");
    DuviduException exception =
        isCpp ? DuviduException(stringAt(cpp, "reason").value_or(""), stringAt(cpp, "type").value_or("C++ exception"))
              : DuviduException(exceptionValue(crash, signal), stringAt(signal, "name").value_or("Signal"));
    DuviduMechanism mechanism(isCpp ? "cpp_exception" : "signal");
    mechanism.handled = false;
    Value::Object signalMeta;
    if (auto number = integerAt(signal, "number")) signalMeta["number"] = *number;
    if (auto code = integerAt(signal, "code")) signalMeta["code"] = *code;
    if (auto name = stringAt(signal, "name")) signalMeta["name"] = *name;
    if (auto codeName = stringAt(signal, "code_name")) signalMeta["code_name"] = *codeName;
    if (!signalMeta.empty()) {
        mechanism.meta = DuviduMechanismMeta();
        mechanism.meta->signal = std::move(signalMeta);
    }
    exception.mechanism = std::move(mechanism);
    exception.threadId = crashedThread;
    return exception;
}

// The scope's dictionaries were sanitized before they were stored, so a null in them was a number JSON cannot hold
// (NaN or an infinity) when it was stored: it becomes NaN again, which the event writes as null, as a running
// process's event would, instead of sanitizing it into the text of a null.
Value withNullsAsNaN(const Value& value)
{
    if (value.isNull()) return std::nan("");
    if (auto object = value.asObject()) {
        Value::Object result;
        for (const auto& [key, element] : *object) result.emplace(key, withNullsAsNaN(element));
        return result;
    }
    if (auto array = value.asArray()) {
        Value::Array result;
        result.reserve(array->size());
        for (const auto& element : *array) result.push_back(withNullsAsNaN(element));
        return result;
    }
    return value;
}

Value::Object withNullsAsNaN(const Value::Object& object)
{
    return *withNullsAsNaN(Value(object)).asObject();
}

void applyScope(DuviduEvent& event, const Value::Object* scope, const Value::Object* userInfo)
{
    event.releaseName = stringAt(userInfo, "release");
    event.dist = stringAt(scope, "dist");
    if (!event.dist) event.dist = stringAt(userInfo, "dist");
    event.environment = stringAt(scope, "environment");
    if (!event.environment) event.environment = stringAt(userInfo, "environment");
    if (auto tags = objectAt(scope, "tags"); tags && !tags->empty()) {
        Value::Object texts;
        for (const auto& [key, value] : *tags) {
            if (value.isString()) texts.emplace(key, value);
        }
        event.tags = std::move(texts);
    }
    if (auto extra = objectAt(scope, "extra"); extra && !extra->empty()) event.extra = withNullsAsNaN(*extra);
    if (auto context = objectAt(scope, "context"); context && !context->empty()) event.context = withNullsAsNaN(*context);
    if (auto user = objectAt(scope, "user")) event.user = DuviduUser::initWithDictionary(withNullsAsNaN(*user));
    if (auto fingerprint = arrayAt(scope, "fingerprint"); fingerprint && !fingerprint->empty()) {
        std::vector<std::string> texts;
        for (const auto& value : *fingerprint) {
            if (auto text = value.asString()) texts.push_back(*text);
        }
        event.fingerprint = std::move(texts);
    }
    if (auto breadcrumbs = arrayAt(scope, "breadcrumbs"); breadcrumbs && !breadcrumbs->empty()) {
        std::vector<Value::Object> serialized;
        for (const auto& value : *breadcrumbs) {
            if (auto object = value.asObject()) serialized.push_back(*object);
        }
        event.serializedBreadcrumbs = std::move(serialized);
    }
}

}  // namespace

DuviduCrashReportConverter::DuviduCrashReportConverter(Value::Object report,
                                                       std::shared_ptr<const DuviduInAppLogic> inAppLogic)
    : report_(std::move(report)), inAppLogic_(std::move(inAppLogic))
{
}

std::shared_ptr<DuviduEvent> DuviduCrashReportConverter::convertReportToEvent() const
{
    const Value::Object* crash = objectAt(&report_, "crash");
    const Value::Array* threads = arrayAt(&report_, "threads");
    if (!crash || !threads) return nullptr;

    auto event = std::make_shared<DuviduEvent>(DuviduLevel::Fatal);
    const Value::Object* header = objectAt(&report_, "report");
    if (auto id = stringAt(header, "id")) {
        auto eventId = DuviduId::fromUUIDString(*id);
        if (!eventId.isEmpty()) event->eventId = eventId;
    }
    if (auto value = member(header, "timestamp")) {
        double seconds = 0;
        if (value->numberAsDouble(seconds)) {
            event->timestamp = DuviduDate(std::chrono::duration_cast<DuviduDate::duration>(
                std::chrono::duration<double>(seconds)));
        }
    }

    std::deque<ReportImage> images = readImages(arrayAt(&report_, "images"));
    const std::optional<int64_t> crashedIndex = integerAt(crash, "thread");
    std::vector<DuviduThread> eventThreads;
    for (size_t i = 0; i < threads->size(); ++i) {
        const Value::Object* thread = (*threads)[i].asObject();
        DuviduThread eventThread(static_cast<int64_t>(i));
        eventThread.name = stringAt(thread, "name");
        eventThread.isMain = boolAt(thread, "main");
        const bool crashed = crashedIndex && *crashedIndex == static_cast<int64_t>(i);
        eventThread.crashed = crashed;
        eventThread.current = crashed;
        if (auto backtrace = objectAt(thread, "backtrace")) {
            eventThread.stacktrace = crashedStacktrace(backtrace, images, inAppLogic_);
        }
        eventThreads.push_back(std::move(eventThread));
    }
    event->threads = std::move(eventThreads);
    event->exceptions = std::vector<DuviduException>{exceptionOf(crash, crashedIndex)};

    std::vector<DuviduDebugMeta> debugImages;
    for (const auto& image : images) {
        if (image.record.size != 0) debugImages.push_back(DuviduDebugImageProvider::fillDebugMetaFrom(image.record));
    }
    event->debugMeta = std::move(debugImages);

    applyScope(*event, objectAt(&report_, "scope"), objectAt(&report_, "user_info"));
    return event;
}

}  // namespace duvidu
