vcl 4.1;

# A shared cache in front of the web servers that run Ostrel. Name the
# backends (or a director over several of them), then include this file from
# the VCL that varnishd loads, for example /etc/varnish/default.vcl:
#   vcl 4.1;
#   backend default { .host = "127.0.0.1"; .port = "8080"; }
#   include "/opt/ostrel-source/deploy/varnish/ostrel.vcl";
# The subroutines below run before Varnish's built-in ones, which do the
# rest (pass for methods other than GET and HEAD and for Authorization).
#
# Several web servers: send each URL to one of them. An ETag names the
# file by its device and inode numbers on the server that made it (a shared
# file system's device numbers differ between machines), so a
# revalidation sent to another server converts again instead of getting
# 304; one server per URL also keeps its page cache warm for that file:
#   import directors;
#   backend web1 { .host = "10.0.0.11"; .port = "80"; }
#   backend web2 { .host = "10.0.0.12"; .port = "80"; }
#   sub vcl_init {
#     new ostrel_servers = directors.shard();
#     ostrel_servers.add_backend(web1);
#     ostrel_servers.add_backend(web2);
#     ostrel_servers.reconfigure();
#   }
#   sub vcl_recv { set req.backend_hint = ostrel_servers.backend(by=URL); }
#
# The key: the URL exactly as sent and the Host header (Varnish's own
# hash), the forwarded scheme, and Accept through Vary.
# - The URL stays raw: no decoding, no sorting of the query. An IIIF
#   identifier's "%2F" is part of one file's name ("docs%2Fa" and "docs/a"
#   are different requests), and a legacy request joins repeated
#   parameters in their order.
# - info.json and the manifest name themselves with the Host header and the
#   scheme (the backend's HTTPS variable). Varnish speaks no TLS: when a TLS
#   terminator in front sets X-Forwarded-Proto, it is part of the key, so an
#   http and an https description are never mixed up; the backend must then
#   also be told (HTTPS=on) to write https identifiers.
# - info.json and the manifest are application/ld+json or application/json
#   after the request's Accept and say so with "Vary: Accept", which Varnish
#   honours by keeping one copy per Accept value. Accept is left as sent.
# - Not Cookie: Ostrel reads none, so it is dropped on Ostrel's paths, where
#   a site's cookies would otherwise turn every request into a pass.
#
# What is stored: only a response that says how long it stays fresh
# (Cache-Control max-age or s-maxage, or Expires) and is no error. Ostrel
# gives that to the IIIF service, to Info and to legacy requests with view
# parameters (Page, Width, Height, Rotate, Format). A request with only FN
# and Path, and the legacy error page, which comes with status 200, carry no
# lifetime and must reach Ostrel every time; Varnish would otherwise keep
# them for default_ttl. Errors carry no-store and are never stored either.
#
# Expiry: no grace, so a copy is never served past its lifetime; it is kept
# for a day after that to revalidate with the backend (If-None-Match,
# If-Modified-Since). Ostrel answers that with 304 from the file's state,
# without converting, unless the file changed.

sub vcl_recv {
  if (req.url ~ "^/cgi-bin/(nph-)?ostrel([/?]|$)") {
    unset req.http.Cookie;
  }
}

sub vcl_hash {
  if (req.http.X-Forwarded-Proto) {
    hash_data(req.http.X-Forwarded-Proto);
  }
}

sub vcl_backend_response {
  if (beresp.status >= 400 ||
      (!beresp.http.Cache-Control && !beresp.http.Expires)) {
    # Hit-for-miss, as the built-in VCL marks what it will not store:
    # concurrent requests for the URL go to the backend side by side instead
    # of queueing behind each other, and a later cacheable answer replaces
    # the mark.
    set beresp.ttl = 120s;
    set beresp.uncacheable = true;
    return (deliver);
  }
  set beresp.grace = 0s;
  if (beresp.http.ETag || beresp.http.Last-Modified) {
    set beresp.keep = 1d;
  }
}
