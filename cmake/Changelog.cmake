# The project's changelog, CHANGELOG.md, turned into what the package carries.
#
# CHANGELOG.md holds one entry per version, newest first:
#
#   ## 0.1.4 (2026-12-07)
#
#   - An item, wrapped onto lines
#     that start with two spaces.
#   - Another item.
#
# Text before the first entry is left out.

# mirel_changelog(MARKDOWN DEBIAN_OUT RELEASES_VAR NEWEST_VAR)
#   Writes DEBIAN_OUT in the format of a Debian changelog (package mirel, distribution unstable,
#   signed by MIREL_MAINTAINER) and sets RELEASES_VAR to the <release> elements of the AppStream
#   metadata and NEWEST_VAR to the newest entry's version. Stops the configure step with an error
#   naming the line when MARKDOWN has a line it cannot place or no entry at all.
function(mirel_changelog markdown debian_out releases_var newest_var)
  file(READ ${markdown} text)
  # CMake lists split at ";" and treat brackets specially: keep all three out of the way while the
  # text is a list of lines, and put them back line by line.
  string(ASCII 1 semicolon)
  string(ASCII 2 open)
  string(ASCII 3 close)
  string(REPLACE ";" "${semicolon}" text "${text}")
  string(REPLACE "[" "${open}" text "${text}")
  string(REPLACE "]" "${close}" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")

  # Day of the week of each date, for the Debian signature line (Sakamoto's method).
  set(month_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  set(day_names Sun Mon Tue Wed Thu Fri Sat)
  set(month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)

  set(debian "")
  set(releases "")
  set(newest "")
  set(version "")
  set(item "")
  set(items "")
  set(number 0)
  # The sentinel heading closes the last entry.
  list(APPEND lines "## end")
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    string(REGEX REPLACE "[ \t\r]+$" "" line "${line}")

    if(line MATCHES "^- (.+)$" OR line MATCHES "^## " OR (line STREQUAL "" AND NOT item STREQUAL ""))
      if(NOT item STREQUAL "")
        list(APPEND items "${item}")
        set(item "")
      endif()
    endif()

    if(line MATCHES "^## ")
      if(NOT version STREQUAL "")
        if(NOT items)
          message(FATAL_ERROR "${markdown}: the entry for ${version} has no items")
        endif()
        # Close the entry that ends here.
        string(APPEND debian "mirel (${version}) unstable; urgency=medium\n\n")
        string(APPEND releases "    <release version=\"${version}\" date=\"${date}\">\n"
                               "      <description>\n        <ul>\n")
        foreach(entry IN LISTS items)
          string(REPLACE "${semicolon}" ";" entry "${entry}")
          string(REPLACE "${open}" "[" entry "${entry}")
          string(REPLACE "${close}" "]" entry "${entry}")
          string(REPLACE "\n" "\n    " wrapped "${entry}")
          string(APPEND debian "  * ${wrapped}\n")
          string(REPLACE "\n" " " flat "${entry}")
          string(REPLACE "&" "&amp;" flat "${flat}")
          string(REPLACE "<" "&lt;" flat "${flat}")
          string(REPLACE ">" "&gt;" flat "${flat}")
          string(APPEND releases "          <li>${flat}</li>\n")
        endforeach()
        string(APPEND debian "\n -- ${MIREL_MAINTAINER}  ${signed}\n\n")
        string(APPEND releases "        </ul>\n      </description>\n    </release>\n")
        set(items "")
      endif()
      if(line STREQUAL "## end")
        break()
      endif()
      if(NOT line MATCHES "^## ([0-9][0-9A-Za-z.+~-]*) \\(([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])\\)$")
        message(FATAL_ERROR "${markdown}:${number}: a heading must read \"## VERSION (YYYY-MM-DD)\"")
      endif()
      set(version ${CMAKE_MATCH_1})
      set(year ${CMAKE_MATCH_2})
      set(month ${CMAKE_MATCH_3})
      set(day ${CMAKE_MATCH_4})
      set(date "${year}-${month}-${day}")
      set(stamp "${day} MONTH ${year} 00:00:00 +0000")
      # Leading zeros off, so that math() reads plain decimal numbers.
      string(REGEX REPLACE "^0" "" month "${month}")
      string(REGEX REPLACE "^0" "" day "${day}")
      math(EXPR index "${month} - 1")
      list(GET month_offsets ${index} offset)
      list(GET month_names ${index} month_name)
      if(month LESS 3)
        math(EXPR year "${year} - 1")
      endif()
      math(EXPR weekday "(${year} + ${year} / 4 - ${year} / 100 + ${year} / 400 + ${offset} + ${day}) % 7")
      list(GET day_names ${weekday} day_name)
      string(REPLACE "MONTH" "${month_name}" stamp "${stamp}")
      set(signed "${day_name}, ${stamp}")
      if(newest STREQUAL "")
        set(newest ${version})
      endif()
    elseif(version STREQUAL "")
      # The title and the notes above the first entry.
    elseif(line MATCHES "^- (.+)$")
      set(item "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^  +([^ ].*)$" AND NOT item STREQUAL "")
      string(APPEND item "\n${CMAKE_MATCH_1}")
    elseif(NOT line STREQUAL "")
      message(FATAL_ERROR "${markdown}:${number}: expected an item (\"- text\") or its next line (two spaces, text)")
    endif()
  endforeach()

  if(newest STREQUAL "")
    message(FATAL_ERROR "${markdown}: no entry (\"## VERSION (YYYY-MM-DD)\")")
  endif()
  # One blank line between entries, none after the last; the file is only rewritten when it changes.
  string(REGEX REPLACE "\n+$" "\n" debian "${debian}")
  file(WRITE ${debian_out}.new "${debian}")
  configure_file(${debian_out}.new ${debian_out} COPYONLY)
  set(${releases_var} "${releases}" PARENT_SCOPE)
  set(${newest_var} ${newest} PARENT_SCOPE)
endfunction()
