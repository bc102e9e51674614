// Maps an interface type to its identifier, so that queries name the type once
// (ComPtr::As<IXMLDOMElement>()) instead of pairing a type with an identifier by hand.
#pragma once

#include <quenlo/agenda.h>
#include <quenlo/platform.h>
#include <quenlo/voting.h>

template <class Interface>
const IID& InterfaceId() noexcept;  // only the specialisations below exist

#define QUENLO_INTERFACE_ID(Interface, identifier)      \
  template <>                                           \
  inline const IID& InterfaceId<Interface>() noexcept { \
    return identifier;                                  \
  }

QUENLO_INTERFACE_ID(IUnknown, IID_IUnknown)
QUENLO_INTERFACE_ID(IClassFactory, IID_IClassFactory)
QUENLO_INTERFACE_ID(IXMLDOMNode, IID_IXMLDOMNode)
QUENLO_INTERFACE_ID(IXMLDOMElement, IID_IXMLDOMElement)
QUENLO_INTERFACE_ID(IXMLDOMDocument, IID_IXMLDOMDocument)
QUENLO_INTERFACE_ID(IXMLDOMNodeList, IID_IXMLDOMNodeList)
QUENLO_INTERFACE_ID(IConferenceSession, IID_IConferenceSession)
QUENLO_INTERFACE_ID(IPacketSink, IID_IPacketSink)
QUENLO_INTERFACE_ID(IVotingCommands, IID_IVotingCommands)
QUENLO_INTERFACE_ID(IAgendaCommands, IID_IAgendaCommands)
QUENLO_INTERFACE_ID(IVotingReply, IID_IVotingReply)
QUENLO_INTERFACE_ID(IVotingDetail, IID_IVotingDetail)
QUENLO_INTERFACE_ID(IVotingSubjectList, IID_IVotingSubjectList)
QUENLO_INTERFACE_ID(IAgendaReply, IID_IAgendaReply)
QUENLO_INTERFACE_ID(IAgendaList, IID_IAgendaList)

#undef QUENLO_INTERFACE_ID
