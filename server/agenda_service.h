#pragma once

#include <pugixml.hpp>

#include "server/agenda.h"
#include "server/audience.h"

namespace quenlo::server {

// The agenda service of one room: reads a request's query, changes the room's agenda and fills
// the answer's query. A refused request throws RequestError and changes nothing.
class AgendaService {
 public:
  Audience Handle(pugi::xml_node request, pugi::xml_node reply);

 private:
  Agenda agenda_;
};

}  // namespace quenlo::server
