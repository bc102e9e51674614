// The replies the module's benchmarks time and what a host reads of their announcements, with the
// host and sessions they go through. Shared by the benchmarks against pugixml (POSIX) and by
// module_share, which also runs under Wine against the real msxml.
#pragma once

#include <quenlo/host.h>
#include <quenlo/session.h>
#include <quenlo/voting.h>

#include <cstddef>
#include <functional>
#include <string>

#include "component/bstr.h"
#include "component/com_ptr.h"
#include "component/host_object.h"

namespace quenlo::confext {

// Outlives every session attached to it.
class BenchHost final : public HostObject<SessionHost> {
 public:
  std::function<void(IUnknown*)> onResult;
  bool serialise = true;
  std::size_t bytesSent = 0;

  HRESULT STDMETHODCALLTYPE Subscribe(const OLECHAR*, IPacketSink*, ULONG* cookie) override {
    *cookie = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RaiseEvent(BSTR, LONG, IUnknown* result) override {
    if (onResult) onResult(result);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReservedSlot1() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReservedSlot2() override { return E_NOTIMPL; }
  // Serialised, as a real host does before transmitting a request.
  HRESULT STDMETHODCALLTYPE SendPacket(IXMLDOMElement* request) override {
    if (serialise) {
      Bstr xml;
      request->get_xml(xml.Put());
      bytesSent += xml.View().size();
    }
    return S_OK;
  }
};

// A voting session in room "room@conference.example", or an agenda session in
// "hall@conference.example", attached to a BenchHost.
struct BenchSession {
  enum class Kind { Voting, Agenda };

  explicit BenchSession(Kind kind);
  ~BenchSession();
  BenchSession(const BenchSession&) = delete;
  BenchSession& operator=(const BenchSession&) = delete;

  BenchHost host;
  ComPtr<IUnknown> session;
  ComPtr<IConferenceSession> config;
  ComPtr<IPacketSink> sink;
};

// A voting "showall" answer of about 300 bytes, and one of 3 MB (votes with their subjects).
const std::string& SmallReply();
const std::string& LargeReply();
// A 300-byte voting "kithe" reply.
const std::string& KitheReply();
// A 3 MB voting "result" reply: 10,000 subjects, 10 voters each.
const std::string& ResultReply();
// An agenda "browse" reply with 1,000 items.
const std::string& BrowseReply();

#ifndef _WIN32
// The root element of a packet's UTF-8 text, parsed by the platform as the POSIX host parses
// every packet it receives (with the default limits); empty when refused.
ComPtr<IXMLDOMElement> ParsePacket(const std::string& utf8);
// Raises the parser's default size limit above the 3 MB reply, as a host expecting such
// replies does.
void AcceptLargeReplies();
#endif

// A new, empty document of the platform's DOM ("Microsoft.XMLDOM"); empty when it cannot be made.
ComPtr<IXMLDOMDocument> NewDocument();

// The shape of a voting "refer" request, built with the DOM's calls in a new document: iq, query,
// and kRequestSubjects text children. Empty when the document cannot be made.
inline constexpr int kRequestSubjects = 10;
ComPtr<IXMLDOMElement> BuildRequest();

// The indexes of the Refer below, in the order they are added.
inline constexpr const OLECHAR* kReferIndexes[] = {
    OLESTR("1"), OLESTR("2"), OLESTR("3"), OLESTR("4"), OLESTR("5"),
    OLESTR("6"), OLESTR("7"), OLESTR("8"), OLESTR("9"), OLESTR("10")};

// A Refer with ten subjects, sent through the commands as a host sends it.
void SendRefer10(IVotingCommands& commands);

// Everything a tally's host reads: the single values, every subject result and every voter.
void ReadEveryAccessor(IUnknown* result);
// What a host showing the whole agenda reads: every field of every item.
void ReadEveryItem(IUnknown* result);

}  // namespace quenlo::confext
