#include "test_session.h"

#include "session/ansi_text.h"
#include "session/property_callback.h"

namespace quenlo::confext {

namespace {

// Every reply and error is announced by the overrides below, whatever its type.
constexpr ReplyRoutes kNoRoutes = {{}, OLESTR(""), nullptr};

}  // namespace

bool TestResult::Load() {
  ++loads;
  if (FindElement(Element(), OLESTR("broken"))) throw _com_error(DISP_E_TYPEMISMATCH);
  return true;
}

HRESULT STDMETHODCALLTYPE TestResult::GetElement(IXMLDOMElement** element) {
  ComPtr<IXMLDOMElement>(Element()).CopyTo(element);
  return *element == nullptr ? S_FALSE : S_OK;
}

TestSession::TestSession() : CommandSession(OLESTR("test.room_name"), kTestNamespace, kNoRoutes) {
  DeclareProperty("test.count", "0");
  DeclareProperty("test.plain", "");
  DeclareProperty(
      "test.echo", "initial",
      std::make_unique<MemberCallback<TestSession>>(*this, &TestSession::OnEchoChanged));
  DeclareProperty("test.mirror", "");
}

// Re-enters SetProperty from inside a change callback, with the session lock held.
void TestSession::OnEchoChanged() {
  ++echoChanges;
  const std::optional<std::string> echo = GetPropertyText("test.echo");
  const Bstr value = AnsiToBstr(echo.value_or(""));
  SetProperty(OLESTR("test.mirror"), value.Get());
}

HRESULT STDMETHODCALLTYPE TestSession::Ping(const OLECHAR* id, const OLECHAR* type,
                                            const OLECHAR* child) {
  std::optional<Request> request = BeginRequest(id, type);
  if (!request) return S_FALSE;
  if (child != nullptr) request->query.Add(OLESTR("qid"), child);
  return Send(*request);
}

void TestSession::HandleReply(IXMLDOMElement* iq, IXMLDOMElement* query,
                              OleStringView queryNamespace) {
  replies.push_back(
      {ComPtr<IXMLDOMElement>(iq), ComPtr<IXMLDOMElement>(query), OleString(queryNamespace)});
  Announce(OLESTR("/test/reply/ok"), &TestResult::Make, query);
}

void TestSession::HandleErrorReply(IXMLDOMElement* iq) {
  errors.push_back(ComPtr<IXMLDOMElement>(iq));
  const ComPtr<IXMLDOMElement> error = FindElement(iq, OLESTR("error"));
  if (error) Announce(OLESTR("/test/error"), &TestResult::Make, error.Get());
}

}  // namespace quenlo::confext
