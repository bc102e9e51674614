#pragma once

#include <pugixml.hpp>
#include <string>

#include "server/agenda.h"
#include "server/audience.h"
#include "server/store.h"

namespace quenlo::server {

// The agenda service of one room: reads a request's query, changes the room's agenda, records
// the change in the store and fills the answer's query. A refused request throws RequestError
// and changes nothing.
class AgendaService {
 public:
  AgendaService(Store& store, std::string room, Agenda agenda);

  Audience Handle(pugi::xml_node request, pugi::xml_node reply);
  const Agenda& agenda() const { return agenda_; }

 private:
  Store& store_;
  std::string room_;
  Agenda agenda_;
};

}  // namespace quenlo::server
