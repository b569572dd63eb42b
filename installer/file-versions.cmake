# Fills the File table of a package built by wixl (which leaves it empty) with
# each program's version and language as Windows reads them from its version
# resource, so that repairs and upgrades compare versions, and drops their
# hashes, which Windows Installer keeps for unversioned files only.
#   cmake -D MSI=package.msi -D MSIBUILD=msibuild -D WINDRES=windres
#         -D FILES=FileId=path,FileId=path... -P file-versions.cmake
set(queries "")
string(REPLACE "," ";" files "${FILES}")
foreach(entry IN LISTS files)
  string(REGEX MATCH "^([^=]+)=(.+)$" unused "${entry}")
  set(id ${CMAKE_MATCH_1})
  set(file ${CMAKE_MATCH_2})
  execute_process(COMMAND ${WINDRES} -i ${file} -O rc
                  OUTPUT_VARIABLE resources RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${WINDRES} cannot read the resources of ${file}: ${errors}")
  endif()
  # The fixed part of VERSIONINFO, which Windows compares (not the strings).
  if(NOT resources MATCHES "FILEVERSION ([0-9]+), *([0-9]+), *([0-9]+), *([0-9]+)")
    message(FATAL_ERROR "${file} has no version information")
  endif()
  set(version ${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}.${CMAKE_MATCH_4})
  if(NOT resources MATCHES "VALUE \"Translation\", (0x[0-9A-Fa-f]+|[0-9]+)")
    message(FATAL_ERROR "${file} names no language in its version information")
  endif()
  math(EXPR language "${CMAKE_MATCH_1}")
  list(APPEND queries
    -q "UPDATE `File` SET `Version` = '${version}', `Language` = '${language}' WHERE `File` = '${id}'"
    -q "DELETE FROM `MsiFileHash` WHERE `File_` = '${id}'")
endforeach()
execute_process(COMMAND ${MSIBUILD} ${MSI} ${queries} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${MSIBUILD} could not set the file versions in ${MSI}")
endif()
