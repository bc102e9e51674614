// The smallest host of the conference extension: it loads the installed module, makes a voting
// session for one room, asks for a new vote ("apply") and prints the vote identifier the module
// announces from the reply. There is no conference server here: the host answers the request
// itself, the way the server would, so the example runs anywhere.
//
// Usage: minimal_host [MODULE]   (default: the module of the installation it was built against)
#include <quenlo/extension.h>
#include <quenlo/voting.h>

#include <cstdio>
#include <string>

#ifdef _WIN32
#define MODULE_DEFAULT_PATH "quenlo_confext.dll"  // Windows looks next to the program first
#else
#include <dlfcn.h>
#endif

using namespace quenlo;  // the module's interfaces and names

namespace {

using Text = std::basic_string<OLECHAR>;

std::string Utf8(const OLECHAR* text) {
  if (text == nullptr) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.resize(utf8.size() - 1);  // the terminator
  return utf8;
}

// The host objects live as long as main, so their reference counts have nothing to decide.
class Application final : public ExtensionHost {
 public:
  IClassFactory* votingFactory = nullptr;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // The module registers its two session types here; a host keeps each factory it wants with a
  // reference of its own. The module keeps none, so a factory the host does not want is freed by
  // taking a reference and dropping it at once.
  HRESULT STDMETHODCALLTYPE RegisterSessionType(const OLECHAR* typeName, const OLECHAR*,
                                                IClassFactory* factory) override {
    if (factory == nullptr) return S_OK;
    factory->AddRef();
    if (Text(typeName) == OLESTR("quenlo.voting.session")) {
      votingFactory = factory;
    } else {
      factory->Release();
    }
    return S_OK;
  }
};

class Room final : public SessionHost {
 public:
  explicit Room(const OLECHAR* address) : address_(address) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  // The session subscribes to "/packet" when it is attached: every packet from the server goes
  // to its sink from then on.
  HRESULT STDMETHODCALLTYPE Subscribe(const OLECHAR*, IPacketSink* sink, ULONG* cookie) override {
    sink_ = sink;
    *cookie = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG) override {
    sink_ = nullptr;
    return S_OK;
  }

  // result is the announced object's public interface; the reply of "apply" is an
  // IVotingReply. It lives only for this call unless the host adds a reference.
  HRESULT STDMETHODCALLTYPE RaiseEvent(BSTR eventPath, LONG, IUnknown* result) override {
    IVotingReply* reply = nullptr;
    if (result == nullptr ||
        FAILED(result->QueryInterface(IID_IVotingReply, reinterpret_cast<void**>(&reply)))) {
      std::printf("%s\n", Utf8(eventPath).c_str());
      return S_OK;
    }
    BSTR qid = nullptr;  // a string the caller frees
    if (reply->GetQid(&qid) == S_OK) {
      std::printf("%s: vote %s\n", Utf8(eventPath).c_str(), Utf8(qid).c_str());
    }
    SysFreeString(qid);
    reply->Release();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReservedSlot1() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReservedSlot2() override { return E_NOTIMPL; }

  // A real host writes the request out (get_xml) and sends it to the server. Here the host plays
  // the server: it answers "apply" with the first vote identifier, as the server would.
  HRESULT STDMETHODCALLTYPE SendPacket(IXMLDOMElement* request) override {
    BSTR name = SysAllocString(OLESTR("id"));
    VARIANT id;
    VariantInit(&id);
    request->getAttribute(name, &id);
    SysFreeString(name);
    const Text requestId = id.vt == VT_BSTR && id.bstrVal != nullptr ? id.bstrVal : OLESTR("");
    VariantClear(&id);
    pendingReply_ = Text(OLESTR("<iq type='result' from='")) + address_ + OLESTR("' id='") +
                    requestId +
                    OLESTR(
                        "'><query type='apply' xmlns='quenlo:conf:voting' code='0'>"
                        "<qid>1</qid></query></iq>");
    return S_OK;
  }

  // Hands the answer to the subscribed session, parsed, as a host does with every packet that
  // arrives. Replies come later than the request, never inside SendPacket.
  bool DeliverReply() {
    IXMLDOMDocument* document = nullptr;
    CLSID documentClass{};
    if (FAILED(CLSIDFromProgID(OLESTR("Microsoft.XMLDOM"), &documentClass)) ||
        FAILED(CoCreateInstance(documentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(&document)))) {
      return false;
    }
    BSTR text = SysAllocString(pendingReply_.c_str());
    VARIANT_BOOL parsed = VARIANT_FALSE;
    IXMLDOMElement* packet = nullptr;
    const bool delivered = SUCCEEDED(document->loadXML(text, &parsed)) && parsed == VARIANT_TRUE &&
                           document->get_documentElement(&packet) == S_OK && sink_ != nullptr;
    if (delivered) sink_->OnPacket(nullptr, packet, 0);
    if (packet != nullptr) packet->Release();
    SysFreeString(text);
    document->Release();
    return delivered;
  }

 private:
  Text address_;
  IPacketSink* sink_ = nullptr;
  Text pendingReply_;
};

LoadConferenceExtensionFunction LoadModule(const char* path) {
#ifdef _WIN32
  HMODULE module = LoadLibraryA(path);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<LoadConferenceExtensionFunction>(
      reinterpret_cast<void*>(GetProcAddress(module, "LoadConferenceExtension")));
#else
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::fprintf(stderr, "%s\n", dlerror());
    return nullptr;
  }
  return reinterpret_cast<LoadConferenceExtensionFunction>(
      dlsym(module, "LoadConferenceExtension"));
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const char* modulePath = argc > 1 ? argv[1] : MODULE_DEFAULT_PATH;
  // The module creates its XML documents through COM on the calling thread.
  if (FAILED(CoInitialize(nullptr))) return 1;
  const LoadConferenceExtensionFunction load = LoadModule(modulePath);
  if (load == nullptr) {
    std::fprintf(stderr, "cannot load the module %s\n", modulePath);
    return 1;
  }

  Application application;
  if (load(&application) != kConferenceExtensionLoaded || application.votingFactory == nullptr) {
    std::fprintf(stderr, "the module did not register its voting session\n");
    return 1;
  }

  // A session per room: the host sets its room address, attaches itself, then sends commands
  // through IVotingCommands.
  IUnknown* session = nullptr;
  if (FAILED(application.votingFactory->CreateInstance(nullptr, IID_IUnknown,
                                                       reinterpret_cast<void**>(&session)))) {
    std::fprintf(stderr, "no voting session\n");
    return 1;
  }
  IConferenceSession* configuration = nullptr;
  IVotingCommands* commands = nullptr;
  session->QueryInterface(IID_IConferenceSession, reinterpret_cast<void**>(&configuration));
  session->QueryInterface(IID_IVotingCommands, reinterpret_cast<void**>(&commands));

  Room room(OLESTR("board@conference.example"));
  configuration->SetProperty(OLESTR("voting.room_name"), OLESTR("board@conference.example"));
  configuration->Attach(&room);

  int status = 0;
  if (commands->Apply(OLESTR("request-1")) != S_OK || !room.DeliverReply()) {
    std::fprintf(stderr, "the request did not go through\n");
    status = 1;
  }

  // Detach before the last Release: the subscription and the host reference hold each other.
  configuration->Detach();
  commands->Release();
  configuration->Release();
  session->Release();
  application.votingFactory->Release();
  CoUninitialize();
  return status;
}
