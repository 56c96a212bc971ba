# Our own targets get the full warning set; third-party headers are included as system headers.
function(orvane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wno-unused-parameter)
endfunction()
