// The mock service's mailbox, newest mail first, each with the link that
// validates its address. The link opens in a tab of its own, as a mail's
// would, so that this page stays and sees the events that follow; once
// followed it is shown used.
import { call, showResult } from "./call.js";
import { element } from "./dom.js";

export function createMailbox() {
  const list = document.getElementById("mailbox-list");
  const output = document.getElementById("verification-result");

  async function refresh() {
    const result = await call("GET", "/_host/mailbox");
    if (result.ok) list.replaceChildren(...result.data.reverse().map(mailEntry));
    else showResult(output, result, "");
  }

  document.getElementById("mailbox-refresh").addEventListener("click", refresh);
  return { refresh };
}

// A used link is shown, but no longer a link: the service takes it once.
function mailEntry(mail) {
  let link;
  if (mail.used) {
    link = usedLink(mail.link);
  } else if (/^https?:\/\//.test(mail.link)) {
    // Only web links become links: a mail's text is the network's.
    link = element("a", { href: mail.link, target: "_blank", rel: "noopener noreferrer",
                          class: "mail-link" }, mail.link);
    // Once the tab has opened.
    link.addEventListener("click", () => setTimeout(() => link.replaceWith(usedLink(mail.link))));
  } else {
    link = element("span", {}, mail.link);
  }
  return element("li", { class: "mail" },
    element("div", {}, "To ", element("strong", {}, mail.to),
            mail.locale ? ` (locale ${mail.locale})` : ""),
    element("div", {}, "Validate the address: ", link));
}

function usedLink(text) {
  return element("span", { class: "mail-link used", title: "used: the link works once" }, text,
                 " (used)");
}
