#pragma once

#include <functional>
#include <string>

namespace quenlo::server {

// Makes the secret part of a room page's address: 128 bits from the system's CSPRNG, as 32
// lowercase hexadecimal digits, so that an address can be neither guessed nor walked to.
std::string NewPageToken();

// Where the rooms' pages are served and how their tokens are made.
struct PageAddressing {
  // The address the pages are reached at, e.g. "https://vote.example.net"; empty when this
  // service serves no pages.
  std::string base_url;
  std::function<std::string()> new_token = &NewPageToken;

  std::string AddressOf(const std::string& token) const { return base_url + "/room/" + token; }
};

}  // namespace quenlo::server
