#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "scheduler/Scheduler.h"

namespace kestrel {

// The task document the Windows Task Scheduler registers for one job, and the job read back
// from a task's document. Plain text work, kept apart from the COM calls so that it can be
// checked on every system.

// Text as XML character data or attribute value: & < > " ' as entities, tab, line feed and
// carriage return as character references (so that no reader folds them). Nothing for text
// with any other control character, which an XML 1.0 document cannot carry at all.
std::optional<std::string> XmlEscaped(const std::string& text);
// The entities and character references of XmlEscaped (and any other numeric reference)
// turned back into UTF-8 text.
std::string XmlUnescaped(const std::string& text);

// The document of a job, as UTF-8 text (it says UTF-16: it is handed to the Task Scheduler as
// a wide string). A job with weekdays gets a weekly calendar trigger at JobTime on those days;
// without weekdays a one-time trigger on its Once date, or at the next time JobTime comes round
// after `now` (local time). Both start at that next time, so registering never counts as a missed
// run. The action runs Program with Arguments; the task runs as `userId` (when not empty) with its
// interactive token only, at the highest run level for HighestRunLevel and the least otherwise,
// and starts as soon as it can after a missed start. An Error for a
// Program or Arguments that the document cannot carry.
Result<std::string> TaskXmlOf(const JobInfo& job, const std::tm& now, const std::string& userId);

// The job a task document describes: Program and Arguments of its first Exec action, JobTime
// and weekdays of its first time or weekly trigger (a weekly trigger sets JobRunPeriodically),
// HighestRunLevel for the run level HighestAvailable.
// What the document lacks stays empty; nothing when it has neither trigger nor action.
std::optional<JobInfo> JobOfTaskXml(const std::string& xml);

}  // namespace kestrel
