#include "server/voting_service.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>
#include <vector>

#include "server/address.h"
#include "server/limits.h"
#include "server/namespaces.h"
#include "server/packet_reader.h"
#include "server/packet_writer.h"
#include "server/request_error.h"

namespace quenlo::server {
namespace {

// Longer than any meeting; keeps a deadline far from the clock's limits whatever the text says.
constexpr std::chrono::seconds kLongestTimeout = std::chrono::hours(24 * 7);

// Answers that went through carry code 0, so that a reply's code alone tells success.
constexpr char kSuccessCode[] = "0";

std::chrono::seconds ReadTimeout(pugi::xml_node request) {
  std::string_view text = request.child("timeout").text().get();
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return std::chrono::seconds(0);
  text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
  long long seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (error != std::errc() || end != text.data() + text.size() || seconds < 0 ||
      seconds > kLongestTimeout.count()) {
    throw RequestError(ErrorCode::kMalformedRequest,
                       "timeout must be a number of seconds up to one week");
  }
  return std::chrono::seconds(seconds);
}

VoteDefinition ReadDefinition(pugi::xml_node request) {
  VoteDefinition definition;
  definition.caption = Bounded(RequiredText(request, "caption"), kMaxCaptionBytes, "caption");
  definition.multiple_choice = ReadFlag(request, "multi");
  definition.registered = ReadFlag(request, "reg");
  definition.timeout = ReadTimeout(request);
  for (const pugi::xml_node subject : request.child("subjects").children("subject")) {
    const pugi::xml_attribute attribute = subject.attribute("index");
    if (!attribute) throw RequestError(ErrorCode::kMalformedRequest, "subject without index");
    std::string index = Bounded(attribute.value(), kMaxSubjectIndexBytes, "a subject index");
    const bool repeated =
        std::any_of(definition.subjects.begin(), definition.subjects.end(),
                    [&](const VoteSubject& known) { return known.index == index; });
    if (repeated) {
      throw RequestError(ErrorCode::kMalformedRequest, "subject index " + index + " given twice");
    }
    definition.subjects.push_back(
        {std::move(index),
         Bounded(subject.text().get(), kMaxSubjectTextBytes, "a subject's text")});
  }
  if (definition.subjects.empty()) {
    throw RequestError(ErrorCode::kMalformedRequest, "a vote needs at least one subject");
  }
  return definition;
}

const char* FlagText(bool flag) { return flag ? "true" : "false"; }

void WriteSummary(const Vote& vote, pugi::xml_node query) {
  const VoteDefinition& definition = vote.definition();
  AppendText(query, "qid", vote.id());
  AppendText(query, "caption", definition.caption);
  AppendText(query, "multi", FlagText(definition.multiple_choice));
  AppendText(query, "reg", FlagText(definition.registered));
}

void WriteDescription(const Vote& vote, pugi::xml_node query) {
  WriteSummary(vote, query);
  AppendText(query, "timeout", std::to_string(vote.definition().timeout.count()));
  pugi::xml_node subjects = query.append_child("subjects");
  for (const VoteSubject& subject : vote.definition().subjects) {
    pugi::xml_node element = subjects.append_child("subject");
    element.append_attribute("index") = subject.index.c_str();
    if (!subject.text.empty()) element.text().set(subject.text.c_str());
  }
}

// Every subject carries its "count", and a registered vote also names its voters: a reader
// that finds no voter names under a subject falls back on the count, so a subject nobody chose
// still reads as zero votes.
void WriteTally(const Vote& vote, pugi::xml_node query) {
  WriteSummary(vote, query);
  AppendText(query, "count", std::to_string(vote.BallotCount()));
  pugi::xml_node subjects = query.append_child("subjects");
  for (const VoteSubject& subject : vote.definition().subjects) {
    const std::vector<std::string> voters = vote.VotersFor(subject.index);
    pugi::xml_node element = subjects.append_child("subject");
    element.append_attribute("name") = subject.text.c_str();
    element.append_attribute("index") = subject.index.c_str();
    element.append_attribute("count") = std::to_string(voters.size()).c_str();
    if (!vote.definition().registered) continue;
    for (const std::string& voter : voters) AppendText(element, "user", voter);
  }
}

}  // namespace

VotingService::VotingService(Store& store, std::string room, std::vector<Vote> votes,
                             std::uint64_t next_vote_id)
    : store_(store), room_(std::move(room)), nextVoteId_(next_vote_id) {
  for (Vote& vote : votes) {
    std::string id = vote.id();
    votes_.emplace(std::move(id), std::move(vote));
  }
  ChooseFeatured();
}

void VotingService::ChooseFeatured() {
  featured_.clear();
  // Identifiers count up from 1, so the longer one is the newer.
  const auto newer = [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() > b.size() : a > b;
  };
  bool running = false;
  for (const auto& [id, vote] : votes_) {
    if (vote.state() == VoteState::kDrafted) continue;
    const bool runs = vote.state() == VoteState::kRunning;
    if (featured_.empty() || (runs && !running) || (runs == running && newer(id, featured_))) {
      featured_ = id;
      running = runs;
    }
  }
}

void VotingService::CountVotes(VoteCounts& counts) const {
  for (const auto& [id, vote] : votes_) ++counts[static_cast<std::size_t>(vote.state())];
}

const Vote* VotingService::Featured() const {
  const auto vote = votes_.find(featured_);
  return vote == votes_.end() ? nullptr : &vote->second;
}

void VotingService::HideTally(const std::string& vote_id, bool hidden) {
  Vote& vote = FindVote(vote_id);
  vote.HideTally(hidden);
  store_.SaveVote(room_, vote);
}

Audience VotingService::Handle(const Member& sender, pugi::xml_node request, pugi::xml_node reply,
                               TimePoint now) {
  reply.append_attribute("code") = kSuccessCode;
  const std::string_view type = request.attribute("type").value();
  if (type == "apply") return Apply(reply);
  if (type == "refer") return Refer(request, reply);
  if (type == "showall") return ShowAll(reply);
  if (type == "content") return Content(request, reply);
  if (type == "start") return Start(request, reply, now);
  if (type == "end") return End(request, reply);
  if (type == "voting") return CastBallot(sender, request, reply);
  if (type == "kithe") return Tally(request, reply, false);
  if (type == "result") return Tally(request, reply, true);
  if (type == "delete") return Delete(request, reply);
  throw RequestError(ErrorCode::kUnknownRequestType,
                     "unknown voting request \"" + std::string(type) + "\"");
}

void VotingService::EndExpired(TimePoint now, pugi::xml_node notices) {
  for (auto& [id, vote] : votes_) {
    if (!vote.HasRunOut(now)) continue;
    vote.End();
    store_.SaveVote(room_, vote);
    featured_ = id;
    pugi::xml_node query = notices.append_child("query");
    query.append_attribute("type") = "end";
    query.append_attribute("xmlns") = kVotingNamespace;
    query.append_attribute("code") = kSuccessCode;
    WriteDescription(vote, query);
  }
}

Audience VotingService::Apply(pugi::xml_node reply) {
  const std::string id = std::to_string(nextVoteId_);
  store_.AddVote(room_, id, nextVoteId_ + 1);
  ++nextVoteId_;
  votes_.emplace(id, Vote(id));
  AppendText(reply, "qid", id);
  return Audience::kSender;
}

Audience VotingService::Refer(pugi::xml_node request, pugi::xml_node reply) {
  Vote& vote = FindVote(request);
  vote.Define(ReadDefinition(request));
  store_.SaveVote(room_, vote);
  featured_ = vote.id();
  WriteDescription(vote, reply);
  return Audience::kSender;
}

Audience VotingService::ShowAll(pugi::xml_node reply) const {
  for (const auto& [id, vote] : votes_) {
    pugi::xml_node subject = reply.append_child("subject");
    subject.append_attribute("id") = id.c_str();
    subject.append_attribute("type") = static_cast<int>(vote.state());
    const std::string& caption = vote.definition().caption;
    if (!caption.empty()) subject.text().set(caption.c_str());
  }
  return Audience::kSender;
}

Audience VotingService::Content(pugi::xml_node request, pugi::xml_node reply) {
  WriteDescription(FindVote(request), reply);
  return Audience::kSender;
}

Audience VotingService::Start(pugi::xml_node request, pugi::xml_node reply, TimePoint now) {
  Vote& vote = FindVote(request);
  vote.Start(now);
  store_.SaveVote(room_, vote);
  featured_ = vote.id();
  WriteDescription(vote, reply);
  return Audience::kRoom;
}

Audience VotingService::End(pugi::xml_node request, pugi::xml_node reply) {
  Vote& vote = FindVote(request);
  vote.End();
  store_.SaveVote(room_, vote);
  featured_ = vote.id();
  WriteDescription(vote, reply);
  return Audience::kRoom;
}

Audience VotingService::CastBallot(const Member& sender, pugi::xml_node request,
                                   pugi::xml_node reply) {
  Vote& vote = FindVote(request);
  std::vector<std::string> indexes;
  for (const pugi::xml_node subject : request.child("subjects").children("subject")) {
    indexes.emplace_back(subject.text().get());
  }
  // The person votes, not the device: every resource of one address shares a single ballot.
  const Ballot& ballot = vote.CastBallot({PersonOf(sender.address), sender.name, indexes});
  store_.AddBallot(room_, vote.id(), vote.BallotCount() - 1, ballot);
  AppendText(reply, "qid", vote.id());
  return Audience::kSender;
}

Audience VotingService::Tally(pugi::xml_node request, pugi::xml_node reply, bool final_only) {
  const Vote& vote = FindVote(request);
  const bool available =
      vote.state() == VoteState::kEnded || (!final_only && vote.state() == VoteState::kRunning);
  if (!available) {
    throw RequestError(ErrorCode::kWrongState,
                       "vote " + vote.id() + (final_only ? " has not ended" : " has not started"));
  }
  WriteTally(vote, reply);
  return Audience::kSender;
}

Audience VotingService::Delete(pugi::xml_node request, pugi::xml_node reply) {
  const std::string id = FindVote(request).id();
  votes_.erase(id);
  store_.DeleteVote(room_, id);
  if (id == featured_) ChooseFeatured();
  AppendText(reply, "qid", id);
  return Audience::kSender;
}

Vote& VotingService::FindVote(pugi::xml_node request) {
  return FindVote(RequiredText(request, "qid"));
}

Vote& VotingService::FindVote(const std::string& qid) {
  const auto vote = votes_.find(qid);
  if (vote == votes_.end()) throw RequestError(ErrorCode::kUnknownVote, "no vote " + qid);
  return vote->second;
}

}  // namespace quenlo::server
