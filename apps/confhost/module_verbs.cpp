#include "apps/confhost/module_verbs.h"

#include <algorithm>

namespace quenlo::confhost {
namespace {

using Arguments = std::vector<std::u16string>;

const OLECHAR* At(const Arguments& arguments, std::size_t index) {
  return arguments[index].c_str();
}

std::vector<ModuleVerb> MakeVerbs() {
  return {
      {"voting.apply",
       {"ID"},
       "apply for a new vote (its qid comes back)",
       [](host::Participant& p, const Arguments& a) { return p.voting().Apply(At(a, 0)); }},
      {"voting.add-refer-subject",
       {"ID", "INDEX", "TEXT"},
       "add a subject to the next upload",
       [](host::Participant& p, const Arguments& a) {
         return p.voting().AddReferSubject(At(a, 0), At(a, 1), At(a, 2));
       }},
      {"voting.clear-refer-subjects",
       {"ID"},
       "forget the subjects of the next upload",
       [](host::Participant& p, const Arguments& a) {
         return p.voting().ClearReferSubjects(At(a, 0));
       }},
      {"voting.refer",
       {"ID", "QID", "CAPTION"},
       "upload the vote with the added subjects",
       [](host::Participant& p, const Arguments& a) {
         return p.voting().Refer(At(a, 0), At(a, 1), At(a, 2));
       }},
      {"voting.showall",
       {"ID"},
       "list every vote of the room",
       [](host::Participant& p, const Arguments& a) { return p.voting().ShowAll(At(a, 0)); }},
      {"voting.content",
       {"ID", "QID"},
       "fetch one vote",
       [](host::Participant& p, const Arguments& a) {
         return p.voting().Content(At(a, 0), At(a, 1));
       }},
      {"voting.start",
       {"ID", "QID"},
       "open the vote for ballots",
       [](host::Participant& p, const Arguments& a) {
         return p.voting().Start(At(a, 0), At(a, 1));
       }},
      {"voting.add-voting-subject",
       {"INDEX"},
       "choose a subject for the next ballot",
       [](host::Participant& p, const Arguments& a) {
         return p.voting().AddVotingSubject(At(a, 0));
       }},
      {"voting.voting",
       {"ID", "QID"},
       "cast the ballot with the chosen subjects",
       [](host::Participant& p, const Arguments& a) {
         return p.voting().Voting(At(a, 0), At(a, 1));
       }},
      {"voting.kithe",
       {"ID", "QID"},
       "fetch the live tally",
       [](host::Participant& p, const Arguments& a) {
         return p.voting().Kithe(At(a, 0), At(a, 1));
       }},
      {"voting.end",
       {"ID", "QID"},
       "close the vote",
       [](host::Participant& p, const Arguments& a) { return p.voting().End(At(a, 0), At(a, 1)); }},
      {"voting.result",
       {"ID", "QID"},
       "fetch the final result",
       [](host::Participant& p, const Arguments& a) {
         return p.voting().Result(At(a, 0), At(a, 1));
       }},
      {"voting.delete",
       {"ID", "QID"},
       "delete the vote",
       [](host::Participant& p, const Arguments& a) {
         return p.voting().Delete(At(a, 0), At(a, 1));
       }},
      {"agenda.create",
       {"ID", "QID", "TEXT", "TIME", "TYPE", "VALUE"},
       "add an agenda item",
       [](host::Participant& p, const Arguments& a) {
         return p.agenda().Create(At(a, 0), At(a, 1), At(a, 2), At(a, 3), At(a, 4), At(a, 5));
       }},
      {"agenda.modify",
       {"ID", "QID", "TEXT", "TIME", "TYPE", "VALUE"},
       "replace an agenda item",
       [](host::Participant& p, const Arguments& a) {
         return p.agenda().Modify(At(a, 0), At(a, 1), At(a, 2), At(a, 3), At(a, 4), At(a, 5));
       }},
      {"agenda.delete",
       {"ID", "QID"},
       "remove an agenda item",
       [](host::Participant& p, const Arguments& a) {
         return p.agenda().Delete(At(a, 0), At(a, 1));
       }},
      {"agenda.sync",
       {"ID", "QID"},
       "move the meeting to an item",
       [](host::Participant& p, const Arguments& a) {
         return p.agenda().Sync(At(a, 0), At(a, 1));
       }},
      {"agenda.browse",
       {"ID"},
       "list the whole agenda",
       [](host::Participant& p, const Arguments& a) { return p.agenda().Browse(At(a, 0)); }},
      {"agenda.request",
       {"ID"},
       "ask which item is in progress",
       [](host::Participant& p, const Arguments& a) { return p.agenda().Request(At(a, 0)); }},
  };
}

}  // namespace

const std::vector<ModuleVerb>& ModuleVerbs() {
  static const std::vector<ModuleVerb> verbs = MakeVerbs();
  return verbs;
}

const ModuleVerb* FindModuleVerb(std::string_view name) {
  const auto& verbs = ModuleVerbs();
  const auto found = std::ranges::find(verbs, name, &ModuleVerb::name);
  return found == verbs.end() ? nullptr : &*found;
}

}  // namespace quenlo::confhost
