// A minimal concrete session over the shared session layer, for testing the layer itself: one
// command (Ping) and a result object (TestResult) whose life is counted.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "component/result_object.h"
#include "session/command_session.h"
#include "support/recording_host.h"
#include "xml/element_lookup.h"
#include "xml/packet_builder.h"

namespace quenlo::confext {

struct ITestCommands : IUnknown {
  // Sends an "iq" whose query has the given type and, when child is not null, one child "qid".
  virtual HRESULT STDMETHODCALLTYPE Ping(const OLECHAR* id, const OLECHAR* type,
                                         const OLECHAR* child) = 0;

 protected:
  ~ITestCommands() = default;
};

struct ITestResult : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetElement(IXMLDOMElement** element) = 0;

 protected:
  ~ITestResult() = default;
};

inline constexpr IID IID_ITestCommands = {
    0x6B1D2F10, 0x1111, 0x4A4A, {0x90, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}};
inline constexpr IID IID_ITestResult = {
    0x6B1D2F11, 0x1111, 0x4A4A, {0x90, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}};

inline const IID& InterfaceIdOf(ITestCommands**) noexcept { return IID_ITestCommands; }
inline const IID& InterfaceIdOf(ITestResult**) noexcept { return IID_ITestResult; }

inline constexpr const OLECHAR* kTestNamespace = OLESTR("quenlo:conf:test");

// Load throws when the element it was built over has a "broken" element below it.
class TestResult final : public ResultObject<TestResult, ITestResult> {
 public:
  static inline std::atomic<int> constructed{0};
  static inline std::atomic<int> destroyed{0};
  static inline std::atomic<int> loads{0};

  explicit TestResult(IXMLDOMElement* element) : ResultObject(element) { ++constructed; }
  ~TestResult() override { ++destroyed; }

  bool Load() override;
  HRESULT STDMETHODCALLTYPE GetElement(IXMLDOMElement** element) override;
};

class TestSession final : public CommandSession<ITestCommands> {
 public:
  static inline std::atomic<int> destroyed{0};

  struct Reply {
    ComPtr<IXMLDOMElement> iq;
    ComPtr<IXMLDOMElement> query;
    OleString queryNamespace;
  };

  TestSession();
  ~TestSession() override { ++destroyed; }

  HRESULT STDMETHODCALLTYPE Ping(const OLECHAR* id, const OLECHAR* type,
                                 const OLECHAR* child) override;

  using ConferenceSession::GetPropertyInt;
  using ConferenceSession::GetPropertyText;

  std::vector<Reply> replies;
  std::vector<ComPtr<IXMLDOMElement>> errors;
  int echoChanges = 0;

 protected:
  void HandleReply(IXMLDOMElement* iq, IXMLDOMElement* query,
                   OleStringView queryNamespace) override;
  void HandleErrorReply(IXMLDOMElement* iq) override;

 private:
  void OnEchoChanged();
};

}  // namespace quenlo::confext
