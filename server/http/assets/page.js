// Keeps a room's page up to date: the service pushes the changing part of the page as an event
// whenever the room changes. Without this script the page still reads correctly, as served.
"use strict";

(function () {
  const live = document.getElementById("live");
  const connection = document.querySelector(".connection");
  const polite = document.querySelector(".polite");
  let countdown = null;

  // Counts the time left down between updates, from the service's figure at the last one.
  function startCountdown() {
    if (countdown !== null) clearInterval(countdown);
    countdown = null;
    const shown = live.querySelector(".time-left");
    if (!shown) return;
    const until = Date.now() + Number(shown.dataset.leftMs);
    const tick = function () {
      const seconds = Math.max(0, Math.ceil((until - Date.now()) / 1000));
      const rest = seconds % 60;
      shown.textContent = seconds < 60 ? seconds + " s left"
                                       : Math.floor(seconds / 60) + ":" + (rest < 10 ? "0" : "") + rest + " left";
    };
    tick();
    countdown = setInterval(tick, 1000);
  }

  function showConnected(connected) {
    connection.hidden = connected;
    document.body.classList.toggle("reconnecting", !connected);
  }

  function update(html) {
    live.innerHTML = html;
    const announce = live.querySelector(".announce");
    if (announce && polite.textContent !== announce.dataset.announce) {
      polite.textContent = announce.dataset.announce;
    }
    startCountdown();
  }

  startCountdown();
  // EventSource comes back by itself after a drop, and the first event after it carries the
  // whole current state, so the page picks up where it left off.
  const events = new EventSource(document.body.dataset.events);
  events.addEventListener("open", function () { showConnected(true); });
  events.addEventListener("error", function () { showConnected(false); });
  events.addEventListener("page", function (event) {
    showConnected(true);
    update(event.data);
  });
  // A page whose address was replaced, or whose room is gone, is told so and stops listening.
  events.addEventListener("gone", function () {
    events.close();
    showConnected(true);
    live.innerHTML = "";
    const note = document.createElement("p");
    note.textContent = "This page's address is no longer valid. Ask the room's owner for the new one.";
    live.appendChild(note);
  });
})();
