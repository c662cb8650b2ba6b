# Fails when the program's code waits for a thread in a way the UI-thread
# guard cannot see. Run as
#   cmake -DROOT=<tree> -P CheckUiWaits.cmake
# The UI thread waits for a worker only through ui::UiThread::waitForWorker
# or joinWorker (events served, bounded), or through the guard's own
# pf::uiguard::join and the handler pool's drain and stop, which report a
# thread on the network to the guard. So a plain join, drain or
# condition-variable or future wait (.join(), .drain(), .wait(), .wait_for(),
# .wait_until()) in Vortanex/ is allowed only where it is listed below, with
# the reason it never holds the UI thread for the network; a new one, or one
# more in a listed file, fails.
if(NOT ROOT)
  message(FATAL_ERROR "CheckUiWaits: pass -DROOT=<source tree>")
endif()

# file|count|why
set(allowed
  "Vortanex/server/FeedConnection.cpp|4|the sender's drain after the UI thread's wait and for the tests, and the feed thread's own pause and prompt waits"
  "Vortanex/server/FeedDispatcher.cpp|1|the dispatcher's drain is the handler pool's (seen by the guard)"
  "Vortanex/app/ProgramFeed.cpp|1|the dispatcher's drain after the UI thread's wait"
  "Vortanex/server/RequestServer.cpp|1|a worker waits for the proxy prompt's answer"
  "Vortanex/server/SecurityMaster.cpp|2|threads that write the master files, never on the network"
  "Vortanex/server/SecurityTable.cpp|1|threads that parse the master, never on the network"
  "Vortanex/server/SecurityFile.cpp|1|threads that parse the master, never on the network"
  "Vortanex/orders/CTradeView.cpp|1|a count of downloads, polled with no wait by the UI thread's wait, tests wait on it"
  "Vortanex/orders/COrderViewEx.cpp|1|a count of downloads, polled with no wait by the UI thread's wait, tests wait on it"
  "Vortanex/orders/ExchangesInFlight.h|1|the basket's and the conversion's exchanges, polled with no wait by the UI thread's wait, tests wait on it"
  "Vortanex/app/CLogin.cpp|2|joins of the login's exchange after it has ended (served until then)"
  "Vortanex/watch/excel/ExcelLink.cpp|4|the spreadsheet writer's own waits and its bounded, marked collection"
  "Vortanex/watch/excel/CalcSheetLink.cpp|2|the spreadsheet program's reader, bounded"
  "Vortanex/watch/excel/RecordingSheetLink.cpp|1|the recording spreadsheet of the tests"
  "Vortanex/watch/excel/ExcelExportCommand.cpp|1|the export's thread, joined after its own event loop has ended"
  "Vortanex/app/base/LogWriter.cpp|2|the log's committer waits for lines on its own thread, and CloseLog joins it after its last commit to disk, never on the network"
)

set(pattern "(\\.|->)(join|drain)\\(\\)|(\\.|->)wait(_for|_until)?\\(")
file(GLOB_RECURSE sources RELATIVE "${ROOT}" "${ROOT}/Vortanex/*.cpp" "${ROOT}/Vortanex/*.h")
list(SORT sources)
set(faults 0)
foreach(src IN LISTS sources)
  file(STRINGS "${ROOT}/${src}" hits REGEX "${pattern}")
  set(count 0)
  set(lines "")
  foreach(hit IN LISTS hits)
    if(hit MATCHES "^[ \t]*//")
      continue()
    endif()
    if(hit MATCHES "${pattern}")
      math(EXPR count "${count} + 1")
      string(STRIP "${hit}" shown)
      list(APPEND lines "${shown}")
    endif()
  endforeach()
  if(count EQUAL 0)
    continue()
  endif()
  set(limit 0)
  foreach(entry IN LISTS allowed)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 file)
    list(GET parts 1 n)
    if(file STREQUAL src)
      set(limit ${n})
    endif()
  endforeach()
  if(count GREATER limit)
    math(EXPR faults "${faults} + 1")
    message("${src}: ${count} plain wait(s) for a thread, ${limit} allowed; wait through ui::UiThread::waitForWorker or joinWorker:")
    foreach(line IN LISTS lines)
      message("    ${line}")
    endforeach()
  endif()
endforeach()
message("${faults} file(s) with a plain wait for a thread")
if(faults GREATER 0)
  message(FATAL_ERROR "plain waits for a thread outside the UI thread's wait")
endif()
