# pugixml's own source, for the parser to compile in (pugixml's "header-only" mode). Linked as the
# packaged library, the parse crosses into it for every node and field it reads (first child, next
# sibling, name, value...), about a tenth of a short reply's parse; compiled in, those calls
# inline. The source is Debian's release of the version Debian 12 packages, fetched at configure
# time into the build folder and checked against its published hash.
#
# quenlo_pugixml_source(<variable>) sets <variable> to the folder holding pugixml.hpp and
# pugixml.cpp, or to "" when the source cannot be had (no network, say) or is not wanted (a build
# that must not fetch anything): the parser then links the packaged library, with the same
# results, more slowly.

option(QUENLO_FETCH_PUGIXML_SOURCE
  "Compile pugixml's source (fetched from Debian at configure time) into the parser" ON)

set(QUENLO_PUGIXML_VERSION 1.13)
set(QUENLO_PUGIXML_URL
  "http://deb.debian.org/debian/pool/main/p/pugixml/pugixml_${QUENLO_PUGIXML_VERSION}.orig.tar.gz")
# From the Checksums-Sha256 of Debian's pugixml_1.13-0.2.dsc.
set(QUENLO_PUGIXML_SHA256 5c5ad5d7caeb791420408042a7d88c2c6180781bf218feca259fd9d840a888e1)

function(quenlo_pugixml_source variable)
  if(NOT QUENLO_FETCH_PUGIXML_SOURCE)
    set(${variable} "" PARENT_SCOPE)
    return()
  endif()
  set(deps "${CMAKE_BINARY_DIR}/_deps")
  set(source "${deps}/pugixml-${QUENLO_PUGIXML_VERSION}/src")
  if(NOT EXISTS "${source}/pugixml.cpp")
    set(archive "${deps}/pugixml_${QUENLO_PUGIXML_VERSION}.orig.tar.gz")
    message(STATUS "Fetching pugixml ${QUENLO_PUGIXML_VERSION} source from Debian")
    file(DOWNLOAD "${QUENLO_PUGIXML_URL}" "${archive}" STATUS status
         TIMEOUT 60 INACTIVITY_TIMEOUT 15)
    list(GET status 0 code)
    set(hash "")
    if(code EQUAL 0)
      file(SHA256 "${archive}" hash)
    endif()
    if(NOT hash STREQUAL QUENLO_PUGIXML_SHA256)
      file(REMOVE "${archive}")
      message(WARNING "pugixml source not available (${status}); the parser links the packaged "
                      "pugixml instead, and parses more slowly")
      set(${variable} "" PARENT_SCOPE)
      return()
    endif()
    set(top "pugixml-${QUENLO_PUGIXML_VERSION}")
    file(ARCHIVE_EXTRACT INPUT "${archive}" DESTINATION "${deps}"
         PATTERNS "${top}/src/*" "${top}/LICENSE.md")
    file(REMOVE "${archive}")
  endif()
  set(${variable} "${source}" PARENT_SCOPE)
endfunction()
