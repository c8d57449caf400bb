# The version of the project, read from [project] in pyproject.toml, where it
# is written once. Any version the packaging tools accept there is accepted
# here (epochs, pre-, post- and development releases, local versions, in the
# spellings those tools normalise); CMake's project() takes only numbers, so it
# gets the release segment (its first four numbers).
#
#   include(cmake/project_version.cmake)
#   vorna_project_version(<pyproject.toml> <version var> <release var>)

function(vorna_project_version pyproject version_var release_var)
  file(READ "${pyproject}" text)
  string(REPLACE "\r" "" text "${text}")
  # The [project] table runs to the next table header.
  string(FIND "\n${text}" "\n[project]\n" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "${pyproject} has no [project] table")
  endif()
  string(SUBSTRING "\n${text}" ${start} -1 table)
  string(SUBSTRING "${table}" 1 -1 table)
  string(FIND "${table}" "\n[" end)
  if(NOT end EQUAL -1)
    string(SUBSTRING "${table}" 0 ${end} table)
  endif()
  set(blank "[ \t]*")
  if(NOT "${table}" MATCHES "\nversion${blank}=${blank}(\"([^\"\n]*)\"|'([^'\n]*)')${blank}(#[^\n]*)?\n")
    message(FATAL_ERROR "${pyproject} gives no version under [project] (a string: version = \"1.2.3\")")
  endif()
  set(version "${CMAKE_MATCH_2}${CMAKE_MATCH_3}")

  # The public version scheme, matched without regard to case, as the
  # packaging tools match it: [N!]N(.N)*[{a|b|rc}N][.postN][.devN][+local],
  # with the separators and longer spellings they also take.
  string(TOLOWER "${version}" lowered)
  set(sep "[-_.]?")
  set(number "[0-9]+")
  set(pre "(${sep}(alpha|a|beta|b|preview|pre|c|rc)${sep}(${number})?)?")
  set(post "(-${number}|${sep}(post|rev|r)${sep}(${number})?)?")
  set(dev "(${sep}dev${sep}(${number})?)?")
  set(local "(\\+[a-z0-9]+([-_.][a-z0-9]+)*)?")
  set(space "[ \t\n\r]*")
  if(NOT lowered MATCHES "^${space}v?(${number}!)?${number}(\\.${number})*${pre}${post}${dev}${local}${space}$")
    message(FATAL_ERROR "${pyproject}: the version \"${version}\" under [project] is not a version "
      "the packaging tools accept (such as 1.2.3, 1.2.3rc1, 1.2.3.post1, 1!1.2.3.dev4+local.5)")
  endif()
  string(REGEX REPLACE "^${space}v?(${number}!)?" "" rest "${lowered}")
  string(REGEX MATCH "^${number}(\\.${number})?(\\.${number})?(\\.${number})?" release "${rest}")
  # Leading zeros are the same number to the packaging tools, not to CMake.
  string(REGEX REPLACE "(^|\\.)0+([0-9])" "\\1\\2" release "${release}")
  set(${version_var} "${version}" PARENT_SCOPE)
  set(${release_var} "${release}" PARENT_SCOPE)
endfunction()

