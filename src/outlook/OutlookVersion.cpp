#include "outlook/OutlookVersion.h"

#include <array>
#include <cctype>

namespace kestrel {
namespace {

constexpr const char* WordProgId = "Word.Application.8";

struct GenerationRow {
    int major;
    const char* displayName;
    const char* shortVersion;
};

// Outlook 2016, 2019, 2021 and Microsoft 365 all report 16.
constexpr std::array<GenerationRow, 8> Generations{{
    {8, "Outlook 97", "8.0"},
    {9, "Outlook 2000", "9.0"},
    {10, "Outlook 2002(XP)", "10.0"},
    {11, "Outlook 2003", "11.0"},
    {12, "Outlook 2007", "12.0"},
    {14, "Outlook 2010", "14.0"},
    {15, "Outlook 2013", "15.0"},
    {16, "Outlook 2016 or later", "16.0"},
}};

std::optional<int> LeadingNumber(const std::string& text)
{
    std::size_t position = text.find_first_not_of(' ');
    if (position == std::string::npos ||
        !std::isdigit(static_cast<unsigned char>(text[position]))) {
        return std::nullopt;
    }
    int number = 0;
    for (; position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]));
         ++position) {
        number = number * 10 + (text[position] - '0');
        if (number > 1000) {
            return std::nullopt;  // no Office generation is numbered that high
        }
    }
    return number;
}

}  // namespace

std::optional<OutlookGeneration> MapOutlookVersion(const std::string& versionText)
{
    std::optional<int> major = LeadingNumber(versionText);
    if (!major) {
        return std::nullopt;
    }
    for (const GenerationRow& row : Generations) {
        if (row.major == *major) {
            return OutlookGeneration{row.displayName, row.shortVersion};
        }
    }
    return std::nullopt;
}

std::string GetOutlookVersion(OfficeAutomation& automation, std::string& outlookShortVersion)
{
    std::unique_ptr<AutomationObject> word = automation.CreateObject(WordProgId);
    if (!word) {
        return "No Outlook";
    }
    std::string versionText = word->GetTextProperty("Version").value_or("0");
    word->CallMethod("Quit");
    word.reset();

    std::optional<OutlookGeneration> generation = MapOutlookVersion(versionText);
    if (!generation) {
        return {};
    }
    outlookShortVersion = generation->shortVersion;
    return generation->displayName;
}

}  // namespace kestrel
