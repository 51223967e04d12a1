#include "scheduler/TaskXml.h"

#include <array>
#include <cstdint>
#include <cstdlib>

#include "platform/Utf8.h"

namespace kestrel {
namespace {

constexpr std::uint32_t MillisecondsPerMinute = 60 * 1000;
// In the order of the DaysOfWeek bits: bit 0 Monday ... 0x40 Sunday.
constexpr std::array<const char*, 7> DayElements{"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                 "Friday", "Saturday", "Sunday"};

std::string Digits(int value, int width)
{
    std::string text = std::to_string(value);
    return std::string(text.size() < static_cast<std::size_t>(width) ? width - text.size() : 0,
                       '0') +
           text;
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    constexpr std::array<int, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[static_cast<std::size_t>(month - 1)];
}

// "2026-12-08T09:30:00": the next time the job's time of day comes round after `now`.
std::string StartBoundaryOf(const JobInfo& job, const std::tm& now)
{
    const int minutes = static_cast<int>(job.JobTime / MillisecondsPerMinute % (24 * 60));
    int year = now.tm_year + 1900;
    int month = now.tm_mon + 1;
    int day = now.tm_mday;
    if ((job.DaysOfWeek & 0x7F) == 0 && job.OnceYear != 0) {
        year = job.OnceYear;
        month = job.OnceMonth;
        day = job.OnceDay;
    } else if (minutes <= now.tm_hour * 60 + now.tm_min) {
        if (++day > DaysInMonth(year, month)) {
            day = 1;
            if (++month > 12) {
                month = 1;
                ++year;
            }
        }
    }
    return Digits(year, 4) + "-" + Digits(month, 2) + "-" + Digits(day, 2) + "T" +
           Digits(minutes / 60, 2) + ":" + Digits(minutes % 60, 2) + ":00";
}

std::string TriggerOf(const JobInfo& job, const std::tm& now)
{
    const std::string start = "      <StartBoundary>" + StartBoundaryOf(job, now) +
                              "</StartBoundary>\n      <Enabled>true</Enabled>\n";
    if ((job.DaysOfWeek & 0x7F) == 0) {
        return "    <TimeTrigger>\n" + start + "    </TimeTrigger>\n";
    }
    std::string days;
    for (std::size_t bit = 0; bit < DayElements.size(); ++bit) {
        if (job.DaysOfWeek & (1u << bit)) {
            days += "          <" + std::string(DayElements[bit]) + " />\n";
        }
    }
    return "    <CalendarTrigger>\n" + start + "      <ScheduleByWeek>\n        <DaysOfWeek>\n" +
           days +
           "        </DaysOfWeek>\n        <WeeksInterval>1</WeeksInterval>\n"
           "      </ScheduleByWeek>\n    </CalendarTrigger>\n";
}

// The text between <name ...> and </name> from `from` on, with the position after it;
// nothing when there is no such element. An empty element (<name />) has empty text.
struct Element {
    std::string text;
    std::size_t end = 0;
};

std::optional<Element> FindElement(const std::string& xml, const std::string& name,
                                   std::size_t from = 0, std::size_t limit = std::string::npos)
{
    const std::string open = "<" + name;
    for (std::size_t at = xml.find(open, from); at != std::string::npos && at < limit;
         at = xml.find(open, at + 1)) {
        const std::size_t after = at + open.size();
        if (after >= xml.size() ||
            (xml[after] != '>' && xml[after] != '/' && xml[after] != ' ' && xml[after] != '\t' &&
             xml[after] != '\r' && xml[after] != '\n')) {
            continue;  // a longer name that starts alike
        }
        const std::size_t tagEnd = xml.find('>', after);
        if (tagEnd == std::string::npos) {
            return std::nullopt;
        }
        if (xml[tagEnd - 1] == '/') {
            return Element{"", tagEnd + 1};
        }
        const std::size_t close = xml.find("</" + name + ">", tagEnd);
        if (close == std::string::npos) {
            return std::nullopt;
        }
        return Element{xml.substr(tagEnd + 1, close - tagEnd - 1), close + name.size() + 3};
    }
    return std::nullopt;
}

std::optional<std::uint32_t> JobTimeOf(const std::string& boundary)
{
    // yyyy-mm-ddThh:mm[:ss...]
    const std::size_t t = boundary.find('T');
    if (t == std::string::npos || boundary.size() < t + 6) {
        return std::nullopt;
    }
    const std::string hour = boundary.substr(t + 1, 2);
    const std::string minute = boundary.substr(t + 4, 2);
    for (char c : hour + minute) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    return static_cast<std::uint32_t>((std::stoi(hour) * 60 + std::stoi(minute)) *
                                      MillisecondsPerMinute);
}

void ReadTrigger(const std::string& xml, JobInfo& job)
{
    const std::optional<Element> calendar = FindElement(xml, "CalendarTrigger");
    const std::optional<Element> once = FindElement(xml, "TimeTrigger");
    const std::optional<Element>& trigger = calendar ? calendar : once;
    if (!trigger) {
        return;
    }
    if (auto boundary = FindElement(trigger->text, "StartBoundary")) {
        job.JobTime = JobTimeOf(XmlUnescaped(boundary->text)).value_or(0);
    }
    const std::optional<Element> weekly =
        calendar ? FindElement(calendar->text, "ScheduleByWeek") : std::nullopt;
    if (!weekly) {
        return;
    }
    job.Flags = JobRunPeriodically;
    if (auto days = FindElement(weekly->text, "DaysOfWeek")) {
        for (std::size_t bit = 0; bit < DayElements.size(); ++bit) {
            if (FindElement(days->text, DayElements[bit])) {
                job.DaysOfWeek = static_cast<std::uint8_t>(job.DaysOfWeek | (1u << bit));
            }
        }
    }
}

}  // namespace

std::optional<std::string> XmlEscaped(const std::string& text)
{
    if (!IsValidUtf8(text)) {
        return std::nullopt;
    }
    std::string escaped;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&apos;";
                break;
            case '\t':
                escaped += "&#x9;";
                break;
            case '\n':
                escaped += "&#xA;";
                break;
            case '\r':
                escaped += "&#xD;";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    return std::nullopt;
                }
                escaped += c;
        }
    }
    return escaped;
}

std::string XmlUnescaped(const std::string& text)
{
    static const std::array<std::pair<const char*, char>, 5> named{
        {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}}};
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t end = text[i] == '&' ? text.find(';', i) : std::string::npos;
        if (end == std::string::npos) {
            plain += text[i];
            continue;
        }
        const std::string name = text.substr(i + 1, end - i - 1);
        bool known = false;
        for (const auto& [entity, c] : named) {
            if (name == entity) {
                plain += c;
                known = true;
            }
        }
        if (!known && name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            const std::string digits = name.substr(hex ? 2 : 1);
            char* stop = nullptr;
            const unsigned long value = std::strtoul(digits.c_str(), &stop, hex ? 16 : 10);
            if (!digits.empty() && *stop == '\0' && value > 0 && value <= 0x10FFFF) {
                AppendUtf8(plain, static_cast<char32_t>(value));
                known = true;
            }
        }
        if (known) {
            i = end;
        } else {
            plain += text[i];
        }
    }
    return plain;
}

Result<std::string> TaskXmlOf(const JobInfo& job, const std::tm& now, const std::string& userId)
{
    const std::optional<std::string> command = XmlEscaped(job.Program);
    const std::optional<std::string> arguments = XmlEscaped(job.Arguments);
    const std::optional<std::string> user = XmlEscaped(userId);
    if (!command || !arguments || !user) {
        return Error{"add", "job", 0,
                     "the command line holds characters that a task cannot carry (control "
                     "characters or text that is not UTF-8)"};
    }
    const std::string principal = (userId.empty() ? "" : "      <UserId>" + *user + "</UserId>\n") +
                                  "      <LogonType>InteractiveToken</LogonType>\n"
                                  "      <RunLevel>LeastPrivilege</RunLevel>\n";
    return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
           "<Task version=\"1.2\" "
           "xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
           "  <RegistrationInfo>\n"
           "    <Description>Kestrel scheduled backup</Description>\n"
           "  </RegistrationInfo>\n"
           "  <Triggers>\n" +
           TriggerOf(job, now) +
           "  </Triggers>\n"
           "  <Principals>\n"
           "    <Principal id=\"Author\">\n" +
           principal +
           "    </Principal>\n"
           "  </Principals>\n"
           "  <Settings>\n"
           "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\n"
           "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n"
           "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n"
           "    <StartWhenAvailable>true</StartWhenAvailable>\n"
           "    <Enabled>true</Enabled>\n"
           "  </Settings>\n"
           "  <Actions Context=\"Author\">\n"
           "    <Exec>\n"
           "      <Command>" +
           *command +
           "</Command>\n"
           "      <Arguments>" +
           *arguments +
           "</Arguments>\n"
           "    </Exec>\n"
           "  </Actions>\n"
           "</Task>\n";
}

std::optional<JobInfo> JobOfTaskXml(const std::string& xml)
{
    const std::optional<Element> exec = FindElement(xml, "Exec");
    if (!exec && !FindElement(xml, "CalendarTrigger") && !FindElement(xml, "TimeTrigger")) {
        return std::nullopt;
    }
    JobInfo job;
    if (exec) {
        if (auto command = FindElement(exec->text, "Command")) {
            job.Program = XmlUnescaped(command->text);
        }
        if (auto arguments = FindElement(exec->text, "Arguments")) {
            job.Arguments = XmlUnescaped(arguments->text);
        }
        job.Command = "\"" + job.Program + "\" " + job.Arguments;
    }
    ReadTrigger(xml, job);
    return job;
}

}  // namespace kestrel
