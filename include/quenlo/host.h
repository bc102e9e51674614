// What the module needs from its host: the contract a host implements, every slot in order.
// Every name the module's headers declare is in namespace quenlo, apart from the entry point
// LoadConferenceExtension (extension.h) and the platform's own names (platform.h).
//
// Threads and COM: the module starts no thread and runs on the threads that call it. Its
// commands build each request with the platform's XML DOM ("Microsoft.XMLDOM"), created through
// COM on the calling thread, so on Windows every thread that calls a command must have
// initialised COM (CoInitializeEx, or be part of the process's multithreaded apartment). Where
// it has not, the document cannot be created and the command returns 1 (S_FALSE) and sends
// nothing. On POSIX the platform runtime needs no initialisation (CoInitialize is there and
// does nothing).
//
// Threads: every object may be used from several threads, within these limits.
// - Reference counts are atomic: AddRef and Release on any object, from any thread.
// - LoadConferenceExtension and the factories' calls share nothing: any thread, at any time.
// - A session's commands and OnPacket may run on several threads at once, on one session or on
//   several (the pending subjects of Refer and Voting are guarded; requests of all sessions take
//   turns on the module's one XML document). SetProperty, Attach and Detach must not overlap a
//   command or an OnPacket of the same session: the room name and the host are read without a
//   lock. SetProperty and GetProperty calls themselves are serialised by the session's lock, and
//   a room-name change on one session may run while other sessions work.
// - Result objects never change once announced: any number of threads may read one at once.
// - On Windows, a request element received by SendPacket is released on the thread that sent
//   it (msxml's document is not free-threaded).
//
// Running out of memory in a command or a property call: on POSIX, where the
// host and the module share the system's C++ runtime, the call raises _com_error carrying
// E_OUTOFMEMORY (a failed variant conversion likewise raises its status). The Windows DLL links
// its own C++ runtime, so a host built with another compiler could not catch what it throws:
// there the call returns E_OUTOFMEMORY (or the conversion's status) instead, and nothing is
// sent or stored. CreateInstance, the packet sink and the result accessors never raise on either
// platform (a factory that cannot make its session returns E_OUTOFMEMORY).
//
// Strings: every const OLECHAR* argument is zero-terminated UTF-16, and null stands for the
// empty string. A BSTR the module hands out belongs to the receiver, who frees it with
// SysFreeString; a const OLECHAR* it hands out belongs to the object it came from and stays
// valid while the caller holds a reference on that object.
#pragma once

#include <quenlo/platform.h>

namespace quenlo {

struct IPacketSink;

// Handed to LoadConferenceExtension. The three IUnknown slots are never called by the module.
struct ExtensionHost : IUnknown {
  // The host keeps the factory with a reference of its own; factory may be null when the
  // module could not allocate it. The result is ignored.
  virtual HRESULT STDMETHODCALLTYPE RegisterSessionType(const OLECHAR* typeName,
                                                        const OLECHAR* version,
                                                        IClassFactory* factory) = 0;

 protected:
  ~ExtensionHost() = default;
};

// Handed to a session's Attach, which takes a reference on it until Detach. Results of every
// call are ignored by the module, and none is made under the session's lock.
struct SessionHost : IUnknown {
  // Called by Attach with "/packet". Writes a non-zero cookie; from then on the host calls
  // sink->OnPacket for every incoming packet until Unsubscribe(cookie) returns. The sink comes
  // without a reference for the host.
  virtual HRESULT STDMETHODCALLTYPE Subscribe(const OLECHAR* eventPath, IPacketSink* sink,
                                              ULONG* cookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unsubscribe(ULONG cookie) = 0;
  // Announces one recognised reply. result is the public interface of the result object
  // itself, so it may be used as that interface directly or queried for it (IIDs in
  // quenlo/identifiers.h):
  // - IVotingReply: "/voting/" apply, voting, delete, upload, getvoting, start, end "/ok",
  //   and "/voting/error";
  // - IVotingSubjectList: "/voting/showall/ok";
  // - IVotingDetail: "/voting/kithe/ok", "/voting/look/ok";
  // - IAgendaReply: "/agenda/request/ok", "/agenda/sync/ok", "/agenda/error";
  // - IAgendaList: "/agenda/" create, delete, modify, showall "/ok".
  // result is null when the object could not be allocated. The path is freed and the object
  // reference dropped right after the call: a host that keeps them copies the path and adds a
  // reference. reserved is always 0.
  virtual HRESULT STDMETHODCALLTYPE RaiseEvent(BSTR eventPath, LONG reserved, IUnknown* result) = 0;
  // Two slots the module never calls.
  virtual HRESULT STDMETHODCALLTYPE ReservedSlot1() = 0;
  virtual HRESULT STDMETHODCALLTYPE ReservedSlot2() = 0;
  // The host serialises the finished "iq" element (get_xml) and transmits it to the conference
  // server. The element is free-standing and belongs to the module's shared document: a host
  // that keeps it past the call adds a reference and releases it on the thread that sent it.
  virtual HRESULT STDMETHODCALLTYPE SendPacket(IXMLDOMElement* request) = 0;

 protected:
  ~SessionHost() = default;
};

}  // namespace quenlo
