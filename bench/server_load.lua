-- wrk script of bench/server_bench.py. With BODIES (a file of registration bodies, one a
-- line) and THREADS set, it POSTs them to /register, each body once (thread k of n takes
-- lines k, k + n, ...; with PARTS, as wrk PART of PARTS side by side, lines
-- k + n * PART, k + n * PARTS...), and counts the answers with RegSuccess. With PACE (milliseconds)
-- and PATHS (paths joined by commas), each connection GETs the paths in turn, PACE apart,
-- as installed programs check and download. Otherwise it sends the plain request.
-- Every request closes its connection, as the program's do. done() prints one line,
-- "wrk: " and JSON, for the script to read.
local threads = {}
wrk.headers["Connection"] = "close"

function setup(thread)
  thread:set("id", #threads)
  table.insert(threads, thread)
end

if os.getenv("BODIES") then
  function init()
    local count = tonumber(os.getenv("THREADS"))
    local parts, part = tonumber(os.getenv("PARTS") or "1"), tonumber(os.getenv("PART") or "0")
    bodies, line, next_body, sent, acked, other = {}, 0, 1, 0, 0, 0
    for body in io.lines(os.getenv("BODIES")) do
      if line % (count * parts) == id + count * part then
        bodies[#bodies + 1] = body
      end
      line = line + 1
    end
    share = #bodies
  end

  function request()
    -- Past its share a thread sends its last body again; the script then reports too few.
    local body = bodies[math.min(next_body, #bodies)]
    next_body, sent = next_body + 1, sent + 1
    return wrk.format("POST", "/register", nil, body)
  end

  function response(status, headers, body)
    if status == 200 and body:find("RegSuccess", 1, true) then
      acked = acked + 1
    else
      other = other + 1
    end
  end
end

if os.getenv("PACE") then
  local paths, turn = {}, 0
  for path in string.gmatch(os.getenv("PATHS"), "[^,]+") do
    paths[#paths + 1] = path
  end

  function delay()
    return tonumber(os.getenv("PACE"))
  end

  function request()
    turn = turn % #paths + 1
    return wrk.format("GET", paths[turn])
  end
end

function done(summary, latency, requests)
  local sent, acked, other, short = 0, 0, 0, 0
  for _, thread in ipairs(threads) do
    local share, thread_sent = thread:get("share"), thread:get("sent") or 0
    sent = sent + thread_sent
    acked = acked + (thread:get("acked") or 0)
    other = other + (thread:get("other") or 0)
    if share and thread_sent > share then
      short = 1
    end
  end
  local e = summary.errors
  io.write(string.format('wrk: {"requests": %d, "seconds": %.6f, "p99_ms": %.3f, ' ..
    '"errors": %d, "sent": %d, "acked": %d, "other": %d, "short": %d}\n',
    summary.requests, summary.duration / 1e6, latency:percentile(99) / 1e3,
    e.connect + e.read + e.write + e.status + e.timeout, sent, acked, other, short))
end
