#include "service/start_task.h"

#include "common/text.h"
#include "service/companion.h"

namespace vx::service {
namespace {

const char* boolean(bool value) { return value ? "true" : "false"; }

void element(std::string& out, std::string_view indent, std::string_view name, std::string_view text) {
  out.append(indent).append("<").append(name).append(">");
  out.append(escape_markup(text));  // paths may hold "&" (C:\R&D\...)
  out.append("</").append(name).append(">\n");
}

}  // namespace

std::string delay_text(int seconds) {
  if (seconds <= 0) return {};
  if (seconds < 60) return "PT" + std::to_string(seconds) + "S";
  std::string text = "PT" + std::to_string(seconds / 60) + "M";
  if (seconds % 60 != 0) text += std::to_string(seconds % 60) + "S";
  return text;
}

StartTask companion_start_task(std::string_view program_path) {
  StartTask task;
  task.program = program_path;
  task.working_directory = folder_of(program_path);
  return task;
}

std::string start_task_xml(const StartTask& task) {
  std::string out =
      "<?xml version=\"1.0\"?>\n"
      "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
      "  <Triggers>\n"
      "    <LogonTrigger>\n"
      "      <Enabled>true</Enabled>\n";
  if (const std::string delay = delay_text(task.delay_seconds); !delay.empty()) element(out, "      ", "Delay", delay);
  out +=
      "    </LogonTrigger>\n"
      "  </Triggers>\n"
      "  <Principals>\n"
      "    <Principal id=\"Author\">\n";
  element(out, "      ", "LogonType", "InteractiveToken");
  element(out, "      ", "RunLevel", task.highest_run_level ? "HighestAvailable" : "LeastPrivilege");
  out +=
      "    </Principal>\n"
      "  </Principals>\n"
      "  <Settings>\n";
  element(out, "    ", "DisallowStartIfOnBatteries", boolean(task.disallow_start_if_on_batteries));
  element(out, "    ", "StopIfGoingOnBatteries", boolean(task.stop_if_going_on_batteries));
  element(out, "    ", "StartWhenAvailable", boolean(task.start_when_available));
  out += "    <IdleSettings>\n";
  element(out, "      ", "StopOnIdleEnd", boolean(task.stop_on_idle_end));
  out += "    </IdleSettings>\n";
  element(out, "    ", "ExecutionTimeLimit", task.execution_time_limit);
  out +=
      "  </Settings>\n"
      "  <Actions Context=\"Author\">\n"
      "    <Exec>\n";
  element(out, "      ", "Command", task.program);
  if (!task.arguments.empty()) element(out, "      ", "Arguments", task.arguments);
  if (!task.working_directory.empty()) element(out, "      ", "WorkingDirectory", task.working_directory);
  out +=
      "    </Exec>\n"
      "  </Actions>\n"
      "</Task>\n";
  return out;
}

}  // namespace vx::service
