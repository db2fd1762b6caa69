#include "start_task.h"

#include <windows.h>

#include <oleauto.h>
#include <taskschd.h>
#include <wrl/client.h>

#include "common/win32/bstr.h"
#include "common/win32/text.h"
#include "common/win32/unique.h"

namespace vx::service::win32 {
namespace {

using Microsoft::WRL::ComPtr;
using vx::win32::widen;

using vx::win32::Bstr;

// The local Task Scheduler's root folder, connected as the current user, for
// the length of one operation; null when any step fails.
class Root {
 public:
  Root() {
    // Process-wide security once; a second call (ours or an earlier one) is fine.
    const HRESULT security = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                                                  RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    if (FAILED(security) && security != RPC_E_TOO_LATE) return;
    ComPtr<ITaskService> service;
    if (FAILED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&service)))) return;
    VARIANT none;
    VariantInit(&none);
    const Bstr path("\\");
    if (SUCCEEDED(service->Connect(none, none, none, none))) service->GetFolder(path.get(), folder_.GetAddressOf());
  }
  ITaskFolder* operator->() const { return folder_.Get(); }
  explicit operator bool() const { return folder_ != nullptr; }

 private:
  vx::win32::ComApartment com_;  // before the pointers, so it ends after them
  ComPtr<ITaskFolder> folder_;
};

// GetTask matches in any case; only the exact name counts.
bool holds(const Root& root, std::string_view name) {
  ComPtr<IRegisteredTask> found;
  const Bstr wanted(name);
  BSTR actual = nullptr;
  const bool same = SUCCEEDED(root->GetTask(wanted.get(), found.GetAddressOf())) &&
                    SUCCEEDED(found->get_Name(&actual)) && actual && widen(name) == actual;
  SysFreeString(actual);
  return same;
}

}  // namespace

bool register_start_task(const StartTask& task) {
  const Root root;
  if (!root) return false;
  const Bstr name(task.name), xml(start_task_xml(task)), sddl;
  VARIANT none, descriptor;
  VariantInit(&none);
  VariantInit(&descriptor);
  descriptor.vt = VT_BSTR;
  descriptor.bstrVal = sddl.get();
  ComPtr<IRegisteredTask> registered;
  return SUCCEEDED(root->RegisterTask(name.get(), xml.get(), TASK_CREATE_OR_UPDATE, none, none,
                                      TASK_LOGON_INTERACTIVE_TOKEN, descriptor, registered.GetAddressOf()));
}

bool start_task_exists(std::string_view name) {
  const Root root;
  return root && holds(root, name);
}

bool remove_start_task(std::string_view name) {
  const Root root;
  if (!root) return false;
  if (!holds(root, name)) return true;
  const Bstr wanted(name);
  return SUCCEEDED(root->DeleteTask(wanted.get(), 0));
}

}  // namespace vx::service::win32
